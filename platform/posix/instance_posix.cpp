// A lock file held for the life of the process as the single-instance lock; Linux backend of
// platform/instance.h.
#include "platform/instance.h"

#include "platform/system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A lock on an open file ends when its last descriptor closes, so the kernel frees it when the
// process ends in any way; the file itself stays and is reused.
class CLockFileMutex final : public CInstanceMutex {
public:
    explicit CLockFileMutex(int fd) : m_nFd(fd) {}
    ~CLockFileMutex() override { ::close(m_nFd); }
    CLockFileMutex(const CLockFileMutex&) = delete;
    CLockFileMutex& operator=(const CLockFileMutex&) = delete;

private:
    int m_nFd;
};

// The mutex name as a file name: letters, digits, '-', '_' and '.' as they are, other bytes as
// %XX, so that distinct names give distinct files.
std::string EncodeName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '-' || c == '_' || (c == '.' && !out.empty())) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        }
    }
    return out;
}

} // namespace

std::string GetInstanceLockPath(const std::string& name) {
    // The runtime folder is the user's own; the shared temporary folder gets the user id in the
    // name so that users do not shut each other out.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/" + EncodeName(name) + ".lock";
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return dir + "/" + EncodeName(name) + "-" + std::to_string(::getuid()) + ".lock";
}

std::unique_ptr<CInstanceMutex> CreateInstanceMutex(const std::string& name,
                                                    std::uint32_t& lastError) {
    const auto path = GetInstanceLockPath(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int err = errno;
        lastError = err == EACCES || err == EPERM || err == ELOOP ? kInstanceErrAccessDenied
                                                                  : static_cast<std::uint32_t>(err);
        mwSetLastError(lastError, path + ": " + mwErrnoText(err));
        return nullptr;
    }
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            // Another process holds it: the mutex exists already.
            lastError = kInstanceErrAlreadyExists;
            mwSetLastError(lastError, path + " is held by another process");
        } else {
            lastError = static_cast<std::uint32_t>(err);
            mwSetLastError(lastError, path + ": " + mwErrnoText(err));
        }
        return nullptr;
    }
    lastError = 0;
    mwSetLastError(0, {});
    return std::make_unique<CLockFileMutex>(fd);
}

bool IsInstanceMutexHeld(const std::string& name) {
    const auto path = GetInstanceLockPath(name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false; // never made: nobody holds it
    int rc;
    while ((rc = ::flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    const bool bHeld = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return bHeld;
}

std::unique_ptr<CInstanceMutex> AcquireNamedLock(const std::string& name) {
    const auto path = GetInstanceLockPath(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return nullptr;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<CLockFileMutex>(fd);
}
