// Clients that open connections to the reference device and trickle request headers, one byte at
// a time; Linux test and benchmark support.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace mwtest {

// nConnections connections to 127.0.0.1:nPort, spread over nAddresses source addresses
// 127.0.1.1, 127.0.1.2, ... (all of them loopback), each sending the start of a request header.
// Closed when the object goes.
class CSlowClients {
public:
    CSlowClients(std::uint16_t nPort, std::size_t nConnections, std::size_t nAddresses) {
        for (std::size_t i = 0; i < nConnections; ++i) {
            const std::size_t nAddr = i % nAddresses + 1;
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_addr.s_addr = htonl(0x7F000100u + static_cast<std::uint32_t>(nAddr));
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(nPort);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
                connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
                if (fd >= 0) {
                    close(fd);
                }
                continue;
            }
            m_arrConnections.push_back({fd, false, 0});
        }
    }
    ~CSlowClients() {
        for (auto& conn : m_arrConnections) {
            close(conn.nFd);
        }
    }
    CSlowClients(const CSlowClients&) = delete;
    CSlowClients& operator=(const CSlowClients&) = delete;

    std::size_t Opened() const { return m_arrConnections.size(); }
    // Connections that the device has closed (or answered and closed) so far.
    std::size_t Closed() const {
        std::size_t n = 0;
        for (const auto& conn : m_arrConnections) {
            n += conn.bClosed ? 1 : 0;
        }
        return n;
    }

    // For nMs, sends every open connection its next header byte every 200 ms (a header that never
    // ends), and notes the connections that the device closes.
    void Trickle(int nMs) {
        static const std::string kHeader = "GET /Down/download_ui.cgi HTTP/1.1\r\nX-Slow: ";
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        while (std::chrono::steady_clock::now() < end) {
            for (auto& conn : m_arrConnections) {
                if (conn.bClosed) {
                    continue;
                }
                const char c = conn.nSent < kHeader.size() ? kHeader[conn.nSent] : 'z';
                if (send(conn.nFd, &c, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) {
                    ++conn.nSent;
                }
                pollfd pfd{conn.nFd, POLLIN, 0};
                if (poll(&pfd, 1, 0) > 0) {
                    char buf[512];
                    if (recv(conn.nFd, buf, sizeof buf, MSG_DONTWAIT) <= 0) {
                        conn.bClosed = true;
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

private:
    struct CSlow {
        int nFd;
        bool bClosed;
        std::size_t nSent;
    };
    std::vector<CSlow> m_arrConnections;
};

} // namespace mwtest
