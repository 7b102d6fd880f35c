// Whole-file reading over POSIX descriptors; Linux backend of platform/file.h.
#include "platform/file.h"
#include "platform/system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CPosixReadFile final : public CReadFile {
public:
    ~CPosixReadFile() override {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }

    // Opening never blocks: a FIFO would otherwise wait for a writer. Only a regular file has
    // a length to announce and an end to reach; anything else is refused here.
    bool Open(const std::string& path) override {
        m_strPath = path;
        m_nFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_nFd < 0)
            return Fail(errno);
        struct stat st {};
        if (::fstat(m_nFd, &st) != 0)
            return Fail(errno);
        if (!S_ISREG(st.st_mode))
            return FailText(std::string("it is ") + KindOf(st.st_mode) + ", not a regular file");
        const int flags = ::fcntl(m_nFd, F_GETFL);
        if (flags < 0 || ::fcntl(m_nFd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            return Fail(errno);
        return true;
    }

    bool Length(std::uint64_t& length) override {
        struct stat st {};
        if (::fstat(m_nFd, &st) != 0)
            return Fail(errno);
        if (!S_ISREG(st.st_mode))
            return FailText(std::string("it is ") + KindOf(st.st_mode) + ", not a regular file");
        length = static_cast<std::uint64_t>(st.st_size);
        return true;
    }

    bool Read(void* buffer, std::size_t size, std::size_t& got) override {
        got = 0;
        auto* p = static_cast<char*>(buffer);
        while (got < size) {
            const ssize_t n = ::read(m_nFd, p + got, size - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Fail(errno);
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::string ErrorText() const override { return m_strError; }

private:
    static const char* KindOf(mode_t mode) {
        if (S_ISDIR(mode))
            return "a directory";
        if (S_ISFIFO(mode))
            return "a FIFO (named pipe)";
        if (S_ISCHR(mode))
            return "a character device";
        if (S_ISBLK(mode))
            return "a block device";
        if (S_ISSOCK(mode))
            return "a socket";
        return "not a plain file";
    }

    bool Fail(int err) { return FailText(mwErrnoText(err)); }
    bool FailText(const std::string& reason) {
        m_strError = "A file error occurred with " + m_strPath + ": " + reason + ".";
        return false;
    }

    int m_nFd = -1;
    std::string m_strPath;
    std::string m_strError;
};

} // namespace

std::unique_ptr<CReadFile> MakeReadFile() {
    return std::make_unique<CPosixReadFile>();
}
