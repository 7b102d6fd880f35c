// UDP sockets, poll() and getifaddrs(); Linux backend of platform/net.h.
#include "platform/net.h"
#include "platform/system.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool Fail() {
    const int err = errno;
    mwSetLastError(static_cast<std::uint32_t>(err), mwErrnoText(err));
    return false;
}

sockaddr_in ToSockaddr(const CNetEndpoint& ep) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = ep.nAddr;
    sa.sin_port = htons(ep.nPort);
    return sa;
}

class CPosixUdpSocket final : public CUdpSocket {
public:
    explicit CPosixUdpSocket(int fd) : m_nFd(fd) {}
    ~CPosixUdpSocket() override { ::close(m_nFd); }
    CPosixUdpSocket(const CPosixUdpSocket&) = delete;
    CPosixUdpSocket& operator=(const CPosixUdpSocket&) = delete;

    int Fd() const { return m_nFd; }

    bool EnableBroadcast() override {
        const int one = 1;
        return ::setsockopt(m_nFd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) == 0 || Fail();
    }

    bool Bind(const CNetEndpoint& local) override {
        const sockaddr_in sa = ToSockaddr(local);
        return ::bind(m_nFd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 || Fail();
    }

    bool SendTo(std::span<const std::uint8_t> data, const CNetEndpoint& to) override {
        const sockaddr_in sa = ToSockaddr(to);
        ssize_t sent;
        do {
            sent = ::sendto(m_nFd, data.data(), data.size(), 0,
                            reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0)
            return Fail();
        return static_cast<std::size_t>(sent) == data.size();
    }

    int Receive(std::span<std::uint8_t> buffer, CNetEndpoint* pFrom) override {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        ssize_t got;
        // MSG_TRUNC makes the call report a datagram's full size, so that one too large for the
        // buffer is told apart from one that just fits. MSG_DONTWAIT because Linux may drop a
        // datagram that poll() has reported (a bad checksum), and the caller must not block then.
        do {
            got = ::recvfrom(m_nFd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&sa), &len);
        } while (got < 0 && errno == EINTR);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return kNetNothingToRead;
        if (got < 0) {
            Fail();
            return -1;
        }
        if (static_cast<std::size_t>(got) > buffer.size()) {
            mwSetLastError(EMSGSIZE, mwErrnoText(EMSGSIZE));
            return -1;
        }
        if (pFrom) {
            pFrom->nAddr = sa.sin_addr.s_addr;
            pFrom->nPort = ntohs(sa.sin_port);
        }
        return static_cast<int>(got);
    }

    CNetEndpoint LocalEndpoint() const override {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        if (::getsockname(m_nFd, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return {};
        return {sa.sin_addr.s_addr, ntohs(sa.sin_port)};
    }

private:
    int m_nFd;
};

class CPosixNet final : public CNet {
public:
    bool Startup() override { return true; }
    void Cleanup() override {}

    std::vector<std::uint32_t> LocalAddresses() override {
        // The host name usually resolves to a loopback address only on Linux, so the interface
        // list is the source here.
        std::vector<std::uint32_t> arrAddrs;
        ifaddrs* pList = nullptr;
        if (::getifaddrs(&pList) != 0) {
            Fail();
            return arrAddrs;
        }
        for (const ifaddrs* p = pList; p; p = p->ifa_next) {
            if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET)
                continue;
            if (!(p->ifa_flags & IFF_UP) || (p->ifa_flags & IFF_LOOPBACK))
                continue;
            sockaddr_in sa;
            std::memcpy(&sa, p->ifa_addr, sizeof sa);
            arrAddrs.push_back(sa.sin_addr.s_addr);
        }
        ::freeifaddrs(pList);
        return arrAddrs;
    }

    std::unique_ptr<CUdpSocket> OpenUdp() override {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            Fail();
            return nullptr;
        }
        return std::make_unique<CPosixUdpSocket>(fd);
    }

    ENetWait WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                          std::vector<bool>& arrReady) override {
        std::vector<pollfd> arrFds;
        for (CUdpSocket* pSocket : sockets)
            arrFds.push_back({static_cast<CPosixUdpSocket*>(pSocket)->Fd(), POLLIN, 0});
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        int n;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            n = ::poll(arrFds.data(), arrFds.size(), left.count() > 0 ? int(left.count()) : 0);
            if (n >= 0 || errno != EINTR)
                break;
        }
        if (n < 0) {
            Fail();
            return ENetWait::Failed;
        }
        if (n == 0)
            return ENetWait::Timeout;
        arrReady.assign(arrFds.size(), false);
        for (std::size_t i = 0; i < arrFds.size(); ++i) {
            if (arrFds[i].revents & POLLNVAL) {
                mwSetLastError(EBADF, mwErrnoText(EBADF));
                return ENetWait::Failed;
            }
            // An error condition also counts: the receive that follows reports it.
            arrReady[i] = arrFds[i].revents != 0;
        }
        return ENetWait::Ready;
    }
};

} // namespace

CNet& GetNet() {
    static CPosixNet s_posixNet;
    return s_posixNet;
}
