// Messages from other processes to a window by its caption: one Unix-domain socket per caption in
// a per-user folder; POSIX backend of platform/ui/remote_message.h.
#include "platform/ui/remote_message.h"

#include "platform/debug_output.h"
#include "platform/ui/remote_dispatch.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// One request: a tag, the message and its two arguments, little-endian. One answer: a status
// byte and the result.
constexpr std::uint32_t kTag = 0x3152574Du; // "MWR1"
constexpr std::size_t kRequestSize = 4 + 4 + 8 + 8;
constexpr std::size_t kAnswerSize = 1 + 8;
constexpr std::uint8_t kAnswerDelivered = 0;
constexpr std::uint8_t kAnswerNoWindow = 1;
// A connection that does not finish its request within this time is dropped.
constexpr int kRequestReadMs = 2000;

using Clock = std::chrono::steady_clock;

void PutU64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint64_t GetU64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return v;
}

void PutU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t GetU32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}

class CFd {
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    CFd(CFd&& o) noexcept : m_fd(o.Release()) {}
    CFd& operator=(CFd&& o) noexcept {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }
    ~CFd() { Reset(); }
    int Get() const { return m_fd; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A folder that only this user can enter: made with mode 0700 when missing; refused when it is a
// link, not a folder, or belongs to someone else.
bool EnsurePrivateFolder(const std::string& strPath) {
    if (::mkdir(strPath.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 0777) != 0700 && ::chmod(strPath.c_str(), 0700) != 0)
        return false;
    return true;
}

// The folder of this user's sockets, made when missing; empty when no safe one exists.
std::string SocketFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') {
        std::string strBase(runtime);
        struct stat st {};
        if (::stat(strBase.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
            const std::string strFolder = strBase + "/marlowick";
            if (EnsurePrivateFolder(strFolder))
                return strFolder;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string strTmp = tmp && *tmp == '/' ? tmp : "/tmp";
    const std::string strFolder = strTmp + "/marlowick-" + std::to_string(::geteuid());
    return EnsurePrivateFolder(strFolder) ? strFolder : std::string();
}

// The file name that stands for a caption: letters, digits, '.', '_' and '-' as they are, other
// bytes as %XX; a long caption is named by a hash, so the path fits a socket address.
std::string SocketName(const std::string& strCaption) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string strName;
    for (unsigned char ch : strCaption) {
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
            ch == '_' || ch == '-' || (ch == '.' && !strName.empty())) {
            strName += static_cast<char>(ch);
        } else {
            strName += '%';
            strName += kHex[ch >> 4];
            strName += kHex[ch & 0xF];
        }
    }
    if (strName.empty() || strName.size() > 48) {
        std::uint64_t h = 1469598103934665603ull; // FNV-1a
        for (unsigned char ch : strCaption)
            h = (h ^ ch) * 1099511628211ull;
        std::string strHash = "%h";
        for (int i = 15; i >= 0; --i)
            strHash += kHex[(h >> (4 * i)) & 0xF];
        strName = strName.substr(0, 24) + strHash;
    }
    return strName;
}

bool MakeAddress(const std::string& strPath, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (strPath.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, strPath.c_str(), strPath.size());
    return true;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

// Reads or writes exactly n bytes before the deadline; false on a timeout, an error or a close.
bool Transfer(int fd, unsigned char* p, std::size_t n, bool bWrite, Clock::time_point deadline,
              bool& bTimedOut) {
    bTimedOut = false;
    std::size_t done = 0;
    while (done < n) {
        pollfd pfd{fd, static_cast<short>(bWrite ? POLLOUT : POLLIN), 0};
        const int ms = RemainingMs(deadline);
        const int rc = ::poll(&pfd, 1, ms);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc == 0) {
            bTimedOut = true;
            return false;
        }
        if (rc < 0)
            return false;
        const ssize_t got = bWrite ? ::send(fd, p + done, n - done, MSG_NOSIGNAL | MSG_DONTWAIT)
                                   : ::recv(fd, p + done, n - done, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool PeerIsThisUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

// Connects to the caption's socket; NoWindow when nothing listens there.
CRemoteStatus Connect(const std::string& strCaption, CFd& fd) {
    const std::string strFolder = SocketFolder();
    sockaddr_un addr{};
    if (strFolder.empty() || !MakeAddress(strFolder + "/" + SocketName(strCaption) + ".sock", addr))
        return CRemoteStatus::Failed;
    fd.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return CRemoteStatus::Failed;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        fd.Reset();
        return err == ENOENT || err == ECONNREFUSED ? CRemoteStatus::NoWindow
                                                    : CRemoteStatus::Failed;
    }
    // The folder is this user's alone, but a listener of another user is refused all the same.
    if (!PeerIsThisUser(fd.Get())) {
        fd.Reset();
        return CRemoteStatus::Failed;
    }
    return CRemoteStatus::Delivered;
}

class CUnixEndpoint final : public CRemoteEndpoint {
public:
    CUnixEndpoint(CWindowPost post, std::string strSocketPath, CFd lockFd, CFd listenFd,
                  CFd wakeRead, CFd wakeWrite)
        : m_dispatcher(std::move(post)), m_strSocketPath(std::move(strSocketPath)),
          m_lockFd(std::move(lockFd)), m_listenFd(std::move(listenFd)),
          m_wakeRead(std::move(wakeRead)), m_wakeWrite(std::move(wakeWrite)) {
        m_thread = std::thread([this] { Serve(); });
    }

    ~CUnixEndpoint() override {
        // Senders find no window from here on: the name goes first, then the thread.
        ::unlink(m_strSocketPath.c_str());
        m_dispatcher.Stop();
        const char ch = 0;
        while (::write(m_wakeWrite.Get(), &ch, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }

private:
    void Serve() {
        for (;;) {
            pollfd pfds[2] = {{m_listenFd.Get(), POLLIN, 0}, {m_wakeRead.Get(), POLLIN, 0}};
            if (::poll(pfds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (pfds[1].revents)
                return;
            if (!(pfds[0].revents & POLLIN))
                continue;
            CFd conn(::accept4(m_listenFd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (conn)
                Answer(conn.Get());
        }
    }

    // One connection, one message: connections are served one after another, so messages reach
    // the window in the order they arrived.
    void Answer(int fd) {
        if (!PeerIsThisUser(fd)) {
            mwDebugOutput("remote message: a process of another user was refused");
            return;
        }
        unsigned char req[kRequestSize];
        bool bTimedOut = false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kRequestReadMs);
        if (!Transfer(fd, req, sizeof req, false, deadline, bTimedOut) || GetU32(req) != kTag)
            return; // a lookup that only connects, or a broken request
        const unsigned nMsg = GetU32(req + 4);
        if (nMsg < WM_USER)
            return; // only user messages cross processes
        const auto result = m_dispatcher.Dispatch(nMsg, static_cast<WPARAM>(GetU64(req + 8)),
                                                  static_cast<LPARAM>(GetU64(req + 16)));
        unsigned char ans[kAnswerSize];
        ans[0] = result ? kAnswerDelivered : kAnswerNoWindow;
        PutU64(ans + 1, static_cast<std::uint64_t>(result.value_or(0)));
        Transfer(fd, ans, sizeof ans, true,
                 Clock::now() + std::chrono::milliseconds(kRequestReadMs), bTimedOut);
    }

    CRemoteDispatcher m_dispatcher;
    std::string m_strSocketPath;
    CFd m_lockFd; // held for the endpoint's life: whoever holds it owns the name
    CFd m_listenFd;
    CFd m_wakeRead;
    CFd m_wakeWrite;
    std::thread m_thread;
};

} // namespace

bool FindRemoteWindow(const std::string& strCaption) {
    CFd fd;
    return Connect(strCaption, fd) == CRemoteStatus::Delivered;
}

CRemoteResult SendRemoteMessage(const std::string& strCaption, unsigned nMsg, WPARAM wParam,
                                LPARAM lParam, std::chrono::milliseconds timeout) {
    CRemoteResult result;
    if (nMsg < WM_USER)
        return result;
    const auto deadline = Clock::now() + timeout;
    CFd fd;
    result.status = Connect(strCaption, fd);
    if (result.status != CRemoteStatus::Delivered) {
        return result;
    }
    unsigned char req[kRequestSize];
    PutU32(req, kTag);
    PutU32(req + 4, nMsg);
    PutU64(req + 8, static_cast<std::uint64_t>(wParam));
    PutU64(req + 16, static_cast<std::uint64_t>(lParam));
    unsigned char ans[kAnswerSize];
    bool bTimedOut = false;
    if (!Transfer(fd.Get(), req, sizeof req, true, deadline, bTimedOut) ||
        !Transfer(fd.Get(), ans, sizeof ans, false, deadline, bTimedOut)) {
        // A window that closes while the message waits ends the connection unanswered.
        result.status = bTimedOut ? CRemoteStatus::TimedOut : CRemoteStatus::NoWindow;
        return result;
    }
    if (ans[0] != kAnswerDelivered) {
        result.status = CRemoteStatus::NoWindow;
        return result;
    }
    result.lResult = static_cast<LRESULT>(GetU64(ans + 1));
    return result;
}

std::unique_ptr<CRemoteEndpoint> CreateRemoteEndpoint(const std::string& strCaption,
                                                      CWindowPost post) {
    const std::string strFolder = SocketFolder();
    if (strFolder.empty())
        return nullptr;
    const std::string strBase = strFolder + "/" + SocketName(strCaption);
    const std::string strSocket = strBase + ".sock";
    sockaddr_un addr{};
    if (!MakeAddress(strSocket, addr))
        return nullptr;
    // The lock decides who owns the name; a process that died released it, so whatever socket
    // file is found while holding it was left behind and is replaced.
    CFd lockFd(
        ::open((strBase + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lockFd || ::flock(lockFd.Get(), LOCK_EX | LOCK_NB) != 0)
        return nullptr;
    ::unlink(strSocket.c_str());
    CFd listenFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listenFd ||
        ::bind(listenFd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd.Get(), 64) != 0) {
        mwDebugOutput("remote message: cannot listen on " + strSocket);
        return nullptr;
    }
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        ::unlink(strSocket.c_str());
        return nullptr;
    }
    return std::make_unique<CUnixEndpoint>(std::move(post), strSocket, std::move(lockFd),
                                           std::move(listenFd), CFd(wake[0]), CFd(wake[1]));
}
