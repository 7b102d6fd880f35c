// UDP sockets, select() and the host-name lookup over Winsock; Windows backend of platform/net.h.
#include "platform/net.h"
#include "platform/system.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace {

void RecordError(int err) {
    mwSetLastError(static_cast<std::uint32_t>(err), "Winsock error " + std::to_string(err));
}

bool Fail() {
    RecordError(WSAGetLastError());
    return false;
}

sockaddr_in ToSockaddr(const CNetEndpoint& ep) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = ep.nAddr;
    sa.sin_port = htons(ep.nPort);
    return sa;
}

class CWinUdpSocket final : public CUdpSocket {
public:
    explicit CWinUdpSocket(SOCKET s) : m_hSocket(s) {}
    ~CWinUdpSocket() override { ::closesocket(m_hSocket); }
    CWinUdpSocket(const CWinUdpSocket&) = delete;
    CWinUdpSocket& operator=(const CWinUdpSocket&) = delete;

    SOCKET Handle() const { return m_hSocket; }

    bool EnableBroadcast() override {
        const int one = 1;
        return ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST,
                            reinterpret_cast<const char*>(&one), sizeof one) == 0 ||
               Fail();
    }

    bool Bind(const CNetEndpoint& local) override {
        const sockaddr_in sa = ToSockaddr(local);
        return ::bind(m_hSocket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 || Fail();
    }

    bool SendTo(std::span<const std::uint8_t> data, const CNetEndpoint& to) override {
        const sockaddr_in sa = ToSockaddr(to);
        const int sent = ::sendto(m_hSocket, reinterpret_cast<const char*>(data.data()),
                                  static_cast<int>(data.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        if (sent == SOCKET_ERROR)
            return Fail();
        return static_cast<std::size_t>(sent) == data.size();
    }

    int Receive(std::span<std::uint8_t> buffer, CNetEndpoint* pFrom) override {
        sockaddr_in sa{};
        int len = sizeof sa;
        // A datagram larger than the buffer fails with WSAEMSGSIZE and is lost.
        const int got =
            ::recvfrom(m_hSocket, reinterpret_cast<char*>(buffer.data()),
                       static_cast<int>(buffer.size()), 0, reinterpret_cast<sockaddr*>(&sa), &len);
        if (got == SOCKET_ERROR) {
            Fail();
            return -1;
        }
        if (pFrom) {
            pFrom->nAddr = sa.sin_addr.s_addr;
            pFrom->nPort = ntohs(sa.sin_port);
        }
        return got;
    }

    CNetEndpoint LocalEndpoint() const override {
        sockaddr_in sa{};
        int len = sizeof sa;
        if (::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return {};
        return {sa.sin_addr.s_addr, ntohs(sa.sin_port)};
    }

private:
    SOCKET m_hSocket;
};

class CWinNet final : public CNet {
public:
    bool Startup() override {
        WSADATA data;
        const int err = ::WSAStartup(MAKEWORD(1, 1), &data);
        if (err != 0) {
            RecordError(err);
            return false;
        }
        return true;
    }

    void Cleanup() override { ::WSACleanup(); }

    std::vector<std::uint32_t> LocalAddresses() override {
        std::vector<std::uint32_t> arrAddrs;
        char szHost[100] = {};
        if (::gethostname(szHost, sizeof szHost - 1) != 0) {
            Fail();
            return arrAddrs;
        }
        const hostent* pHost = ::gethostbyname(szHost);
        if (!pHost) {
            Fail();
            return arrAddrs;
        }
        if (pHost->h_addrtype != AF_INET || pHost->h_length != 4)
            return arrAddrs;
        for (char** pp = pHost->h_addr_list; *pp; ++pp) {
            const auto* b = reinterpret_cast<const unsigned char*>(*pp);
            if (b[0] == 127)
                continue;
            arrAddrs.push_back(MakeIPv4(b[0], b[1], b[2], b[3]));
        }
        return arrAddrs;
    }

    std::unique_ptr<CUdpSocket> OpenUdp() override {
        const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (s == INVALID_SOCKET) {
            Fail();
            return nullptr;
        }
        return std::make_unique<CWinUdpSocket>(s);
    }

    ENetWait WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                          std::vector<bool>& arrReady) override {
        fd_set readSet;
        FD_ZERO(&readSet);
        for (CUdpSocket* pSocket : sockets)
            FD_SET(static_cast<CWinUdpSocket*>(pSocket)->Handle(), &readSet);
        timeval tv;
        tv.tv_sec = nTimeoutMs / 1000;
        tv.tv_usec = (nTimeoutMs % 1000) * 1000;
        const int n = ::select(0, &readSet, nullptr, nullptr, &tv);
        if (n == SOCKET_ERROR) {
            Fail();
            return ENetWait::Failed;
        }
        if (n == 0)
            return ENetWait::Timeout;
        arrReady.assign(sockets.size(), false);
        for (std::size_t i = 0; i < sockets.size(); ++i)
            arrReady[i] = FD_ISSET(static_cast<CWinUdpSocket*>(sockets[i])->Handle(), &readSet);
        return ENetWait::Ready;
    }
};

} // namespace

CNet& GetNet() {
    static CWinNet s_winNet;
    return s_winNet;
}
