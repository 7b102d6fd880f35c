// The device's discovery responder on a UDP socket; Linux platform code.
#include "device/discovery_responder.h"

#include "device/datagram.h"
#include "device/log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Larger than any request; a datagram that does not fit is malformed anyway.
constexpr std::size_t kReceiveSize = 2048;

std::string AddrText(const sockaddr_in& sa) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(ntohs(sa.sin_port));
}

std::string Ipv4Text(std::uint32_t addr) {
    in_addr a{};
    a.s_addr = addr;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

} // namespace

CDiscoveryResponder::CDiscoveryResponder(const CDeviceConfig& config) : m_config(config) {}

CDiscoveryResponder::~CDiscoveryResponder() {
    if (m_nSocket >= 0) {
        close(m_nSocket);
    }
}

bool CDiscoveryResponder::Bind(std::string& strError) {
    m_nSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_nSocket < 0) {
        strError = std::string("udp socket: ") + ErrnoText(errno);
        return false;
    }
    int one = 1;
    // The local address a request arrived on is the address we advertise by default, and the
    // source address of the reply.
    setsockopt(m_nSocket, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    setsockopt(m_nSocket, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(m_config.nUdpPort);
    inet_pton(AF_INET, m_config.strUdpHost.c_str(), &sa.sin_addr);
    if (bind(m_nSocket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        strError = "udp " + m_config.strUdpHost + ":" + std::to_string(m_config.nUdpPort) + ": " +
                   ErrnoText(errno);
        if (errno == EACCES && m_config.nUdpPort < 1024) {
            strError += " (ports below 1024 need privileges; pass --udp with another port)";
        }
        return false;
    }
    socklen_t len = sizeof sa;
    getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&sa), &len);
    m_nPort = ntohs(sa.sin_port);
    return true;
}

void CDiscoveryResponder::Run(int nStopFd) {
    std::uint8_t buffer[kReceiveSize];
    for (;;) {
        pollfd fds[2] = {{m_nSocket, POLLIN, 0}, {nStopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            DeviceLog(std::string("udp: poll failed: ") + ErrnoText(errno));
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        sockaddr_in from{};
        iovec iov{buffer, sizeof buffer};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t got = recvmsg(m_nSocket, &msg, MSG_TRUNC);
        if (got < 0) {
            if (errno != EINTR && errno != EAGAIN) {
                DeviceLog(std::string("udp: receive failed: ") + ErrnoText(errno));
            }
            continue;
        }
        if (msg.msg_flags & MSG_TRUNC) {
            DeviceLog("udp " + AddrText(from) + " ignored: oversized datagram (" +
                      std::to_string(got) + " bytes)");
            continue;
        }
        std::uint32_t localAddr = 0;
        int nIfIndex = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                localAddr = info.ipi_spec_dst.s_addr;
                nIfIndex = info.ipi_ifindex;
            }
        }
        OnDatagram(buffer, static_cast<std::size_t>(got), &from, localAddr, nIfIndex);
    }
}

void CDiscoveryResponder::OnDatagram(const std::uint8_t* data, std::size_t size, const void* from,
                                     std::uint32_t localAddr, int nIfIndex) {
    const auto& sender = *static_cast<const sockaddr_in*>(from);
    const std::string strFrom = "udp " + AddrText(sender);
    std::string strWhy;
    auto request = ParseDiscoveryRequest(data, size, strWhy);
    if (!request) {
        DeviceLog(strFrom + " ignored: " + strWhy);
        return;
    }
    const auto& faults = m_config.faults;
    const std::uint32_t ip = m_config.optAdvertise.value_or(localAddr);
    if (faults.bImpostor) {
        if (request->nType == kTypeAccountCheck) {
            Reply(BuildAccountReply(*request, 0, request->mac, m_config.strName, ip), from,
                  localAddr, nIfIndex);
            DeviceLog(strFrom + " account check seq " + std::to_string(request->nSequence) +
                      " for " + FormatMac(request->mac) + ": accepted (impostor fault)");
        }
        return;
    }
    if (request->nType == kTypeSearch) {
        Reply(BuildSearchReply(*request, faults.nSearchStatus, m_config.mac, m_config.strName, ip),
              from, localAddr, nIfIndex);
        for (const auto& extra : faults.arrExtraDevices) {
            Reply(BuildSearchReply(*request, faults.nSearchStatus, extra.mac, extra.strName, ip),
                  from, localAddr, nIfIndex);
        }
        DeviceLog(strFrom + " search seq " + std::to_string(request->nSequence) + ": answered as " +
                  std::to_string(1 + faults.arrExtraDevices.size()) + " device(s), status " +
                  std::to_string(faults.nSearchStatus) + ", address " + Ipv4Text(ip));
        return;
    }

    // Account check: addressed to one of our identities, with a known account. The reply comes
    // from the address the check arrived on and names the identity, so that the client can tell
    // it from any other host's.
    const CMacAddress* pMac = nullptr;
    const std::string* pName = &m_config.strName;
    if (request->mac == m_config.mac) {
        pMac = &m_config.mac;
    }
    for (const auto& extra : faults.arrExtraDevices) {
        if (request->mac == extra.mac) {
            pMac = &extra.mac;
            pName = &extra.strName;
        }
    }
    std::string strOutcome;
    bool bAccepted = false;
    if (pMac == nullptr) {
        strOutcome = "refused: not our MAC " + FormatMac(request->mac);
    } else if (faults.bRefuseAccounts) {
        strOutcome = "refused (fault flag)";
    } else {
        for (const auto& account : m_config.arrAccounts) {
            bAccepted = bAccepted || AccountCheckMatches(*request, account);
        }
        strOutcome = bAccepted ? "accepted" : "refused: unknown user or wrong password";
    }
    Reply(BuildAccountReply(*request, bAccepted ? 0 : 1, pMac ? *pMac : m_config.mac, *pName, ip),
          from, localAddr, nIfIndex);
    DeviceLog(strFrom + " account check seq " + std::to_string(request->nSequence) + " user \"" +
              request->strUser + "\": " + strOutcome);
}

void CDiscoveryResponder::Reply(const std::vector<std::uint8_t>& datagram, const void* to,
                                std::uint32_t localAddr, int nIfIndex) {
    iovec iov{const_cast<std::uint8_t*>(datagram.data()), datagram.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = const_cast<void*>(to);
    msg.msg_namelen = sizeof(sockaddr_in);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (localAddr != 0) {
        // Answer from the address and interface the request came to.
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = localAddr;
        info.ipi_ifindex = nIfIndex;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    if (sendmsg(m_nSocket, &msg, 0) < 0) {
        DeviceLog(std::string("udp: reply failed: ") + ErrnoText(errno));
    }
}
