// Whole-file reading over POSIX descriptors; Linux backend of platform/file.h.
#include "platform/file.h"

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

    bool Open(const std::string& path) override {
        m_strPath = path;
        m_nFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        return m_nFd >= 0 || Fail(errno);
    }

    bool Length(std::uint64_t& length) override {
        struct stat st {};
        if (::fstat(m_nFd, &st) != 0)
            return Fail(errno);
        if (!S_ISREG(st.st_mode))
            return Fail(EISDIR);
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
    bool Fail(int err) {
        m_strError = "A file error occurred with " + m_strPath + ": " + std::strerror(err) + ".";
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
