// The device's HTTP connections up to a whole request header: accepting, per-address caps, header
// deadlines, and handing whole headers to a pool of workers; Linux platform code.
#include "device/connection_front.h"

#include "device/log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using CConnectionPtr = std::unique_ptr<CConnection>;

std::string EndpointText(const sockaddr_in& sa, int& nPort) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf);
    nPort = ntohs(sa.sin_port);
    return buf;
}

std::string Who(const CConnection& conn) {
    return "http " + conn.strRemoteAddr + ":" + std::to_string(conn.nRemotePort);
}

// A short answer that the reception thread sends itself; it never waits for the client.
void SendNow(int nFd, const char* pszStatus) {
    const std::string text =
        std::string("HTTP/1.1 ") + pszStatus + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    [[maybe_unused]] ssize_t n = send(nFd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

CConnectionFront::CConnectionFront(const CFrontLimits& limits, FnServe fnServe)
    : m_limits(limits), m_fnServe(std::move(fnServe)) {}

CConnectionFront::~CConnectionFront() {
    if (m_nListen >= 0) {
        close(m_nListen);
    }
}

bool CConnectionFront::Bind(const std::string& strHost, std::uint16_t nPort,
                            std::string& strError) {
    auto fail = [&](const char* pszStep) {
        strError = "http " + strHost + ":" + std::to_string(nPort) + ": cannot listen (" + pszStep +
                   ": " + ErrnoText(errno) + ")";
        return false;
    };
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_nListen < 0) {
        return fail("socket");
    }
    // Only SO_REUSEADDR: a port that another server holds must be reported as busy.
    int one = 1;
    setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(nPort);
    if (inet_pton(AF_INET, strHost.c_str(), &sa.sin_addr) != 1) {
        errno = EINVAL;
        return fail("address");
    }
    if (bind(m_nListen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        return fail("bind");
    }
    if (listen(m_nListen, 512) != 0) {
        return fail("listen");
    }
    socklen_t len = sizeof sa;
    getsockname(m_nListen, reinterpret_cast<sockaddr*>(&sa), &len);
    m_nPort = ntohs(sa.sin_port);
    return true;
}

bool CConnectionFront::Run(int nStopFd) {
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        DeviceLog("http: pipe failed: " + ErrnoText(errno));
        return false;
    }

    // Between the reception thread and the workers: connections with a whole header, and
    // connections handed back after a request.
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<CConnectionPtr> arrReady;
    std::vector<std::pair<CConnectionPtr, EAfterRequest>> arrReturned;
    bool bStopping = false;

    std::vector<std::thread> arrWorkers;
    for (std::size_t i = 0; i < m_limits.nWorkers; ++i) {
        arrWorkers.emplace_back([&] {
            for (;;) {
                CConnectionPtr pConn;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    ready.wait(lock, [&] { return bStopping || !arrReady.empty(); });
                    if (bStopping) {
                        return;
                    }
                    pConn = std::move(arrReady.front());
                    arrReady.pop_front();
                }
                const bool bLast = pConn->nRequests + 1 >= m_limits.nMaxRequests;
                EAfterRequest after = m_fnServe(*pConn, bLast);
                ++pConn->nRequests;
                if (bLast && after == EAfterRequest::Keep) {
                    after = EAfterRequest::Close;
                }
                std::lock_guard<std::mutex> lock(mutex);
                arrReturned.emplace_back(std::move(pConn), after);
                [[maybe_unused]] ssize_t n = write(wake[1], "w", 1);
            }
        });
    }

    // The reception thread's own state: connections waiting for (the rest of) a header or being
    // drained, and how many connections each address holds, wherever they are.
    std::vector<CConnectionPtr> arrWaiting;
    std::map<std::uint32_t, std::size_t> mapPerAddress;
    std::size_t nOpen = 0;

    auto closeConn = [&](CConnectionPtr& pConn) {
        shutdown(pConn->nFd, SHUT_RDWR);
        close(pConn->nFd);
        if (--mapPerAddress[pConn->nPeer] == 0) {
            mapPerAddress.erase(pConn->nPeer);
        }
        --nOpen;
        pConn.reset();
    };
    auto headerComplete = [](const CConnection& conn) {
        return conn.strBuffer.find("\r\n\r\n", conn.nBufferPos) != std::string::npos;
    };
    auto dispatch = [&](CConnectionPtr& pConn) {
        std::lock_guard<std::mutex> lock(mutex);
        arrReady.push_back(std::move(pConn));
        ready.notify_one();
    };
    auto idle = [&](CConnectionPtr& pConn) {
        pConn->strBuffer.erase(0, pConn->nBufferPos);
        pConn->nBufferPos = 0;
        if (headerComplete(*pConn)) {
            dispatch(pConn);
            return;
        }
        // Waiting for the next request: the keep-alive time until its first byte, the header
        // time from then on.
        pConn->deadline =
            Clock::now() + std::chrono::milliseconds(pConn->Buffered() > 0 ? m_limits.nHeaderMs
                                                                           : m_limits.nKeepAliveMs);
        arrWaiting.push_back(std::move(pConn));
    };
    auto accepted = [&](int nFd, const sockaddr_in& peer) {
        auto pConn = std::make_unique<CConnection>();
        pConn->nFd = nFd;
        pConn->nPeer = peer.sin_addr.s_addr;
        pConn->strRemoteAddr = EndpointText(peer, pConn->nRemotePort);
        sockaddr_in local{};
        socklen_t len = sizeof local;
        getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &len);
        pConn->strLocalAddr = EndpointText(local, pConn->nLocalPort);
        std::size_t& nFromPeer = mapPerAddress[pConn->nPeer];
        ++nFromPeer;
        ++nOpen;
        if (nFromPeer > m_limits.nMaxPerAddress || nOpen > m_limits.nMaxConnections) {
            SendNow(nFd, "503 Service Unavailable");
            DeviceLog(Who(*pConn) + " refused: " + std::to_string(nFromPeer - 1) +
                      " connections from this address, " + std::to_string(nOpen - 1) + " in all");
            closeConn(pConn);
            return;
        }
        pConn->deadline = Clock::now() + std::chrono::milliseconds(m_limits.nHeaderMs);
        arrWaiting.push_back(std::move(pConn));
    };

    bool bOk = true;
    std::vector<pollfd> arrPoll;
    std::vector<char> arrScratch(64 * 1024);
    for (;;) {
        const Clock::time_point now = Clock::now();
        int nTimeoutMs = -1;
        for (const auto& pConn : arrWaiting) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(pConn->deadline - now).count();
            const int nLeft = static_cast<int>(std::max<long long>(left, 0));
            nTimeoutMs = nTimeoutMs < 0 ? nLeft : std::min(nTimeoutMs, nLeft);
        }
        arrPoll.assign({{nStopFd, POLLIN, 0}, {wake[0], POLLIN, 0}, {m_nListen, POLLIN, 0}});
        for (const auto& pConn : arrWaiting) {
            arrPoll.push_back({pConn->nFd, POLLIN, 0});
        }
        if (poll(arrPoll.data(), arrPoll.size(), nTimeoutMs) < 0) {
            if (errno == EINTR) {
                continue;
            }
            DeviceLog("http: poll failed: " + ErrnoText(errno));
            bOk = false;
            break;
        }
        if (arrPoll[0].revents != 0) {
            break;
        }

        // Readable connections first, by their place in this round's poll list.
        std::vector<CConnectionPtr> arrStill;
        for (std::size_t i = 0; i < arrWaiting.size(); ++i) {
            CConnectionPtr& pConn = arrWaiting[i];
            if (arrPoll[i + 3].revents != 0) {
                if (pConn->bDraining) {
                    ssize_t n = 0;
                    while ((n = recv(pConn->nFd, arrScratch.data(), arrScratch.size(),
                                     MSG_DONTWAIT)) > 0) {
                    }
                    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                        closeConn(pConn);
                        continue;
                    }
                } else {
                    const std::size_t nRoom = m_limits.nMaxHeaderBytes + 1 -
                                              std::min(pConn->Buffered(), m_limits.nMaxHeaderBytes);
                    const std::size_t nHad = pConn->strBuffer.size();
                    pConn->strBuffer.resize(nHad + nRoom);
                    const ssize_t n =
                        recv(pConn->nFd, pConn->strBuffer.data() + nHad, nRoom, MSG_DONTWAIT);
                    pConn->strBuffer.resize(nHad +
                                            static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
                    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                        closeConn(pConn);
                        continue;
                    }
                    if (n > 0 && nHad == pConn->nBufferPos && pConn->nRequests > 0) {
                        // The first byte of the next request on a kept connection.
                        pConn->deadline =
                            Clock::now() + std::chrono::milliseconds(m_limits.nHeaderMs);
                    }
                    if (headerComplete(*pConn)) {
                        dispatch(pConn);
                        continue;
                    }
                    if (pConn->Buffered() > m_limits.nMaxHeaderBytes) {
                        SendNow(pConn->nFd, "431 Request Header Fields Too Large");
                        DeviceLog(Who(*pConn) + " closed: request header over " +
                                  std::to_string(m_limits.nMaxHeaderBytes) + " bytes");
                        closeConn(pConn);
                        continue;
                    }
                }
            }
            arrStill.push_back(std::move(pConn));
        }
        arrWaiting.swap(arrStill);

        // Deadlines.
        const Clock::time_point after = Clock::now();
        arrStill.clear();
        for (CConnectionPtr& pConn : arrWaiting) {
            if (pConn->deadline > after) {
                arrStill.push_back(std::move(pConn));
                continue;
            }
            if (!pConn->bDraining && pConn->Buffered() > 0) {
                SendNow(pConn->nFd, "408 Request Timeout");
                DeviceLog(Who(*pConn) + " closed: no whole request header within " +
                          std::to_string(m_limits.nHeaderMs) + " ms");
            }
            closeConn(pConn);
        }
        arrWaiting.swap(arrStill);

        // Connections back from the workers.
        if (arrPoll[1].revents != 0) {
            char buf[256];
            while (read(wake[0], buf, sizeof buf) > 0) {
            }
            std::vector<std::pair<CConnectionPtr, EAfterRequest>> arrBack;
            {
                std::lock_guard<std::mutex> lock(mutex);
                arrBack.swap(arrReturned);
            }
            for (auto& [pConn, eAfter] : arrBack) {
                if (eAfter == EAfterRequest::Keep) {
                    idle(pConn);
                } else if (eAfter == EAfterRequest::Drain) {
                    shutdown(pConn->nFd, SHUT_WR);
                    pConn->bDraining = true;
                    pConn->deadline = Clock::now() + std::chrono::milliseconds(m_limits.nDrainMs);
                    arrWaiting.push_back(std::move(pConn));
                } else {
                    closeConn(pConn);
                }
            }
        }

        // New connections.
        if (arrPoll[2].revents != 0) {
            for (;;) {
                sockaddr_in peer{};
                socklen_t len = sizeof peer;
                const int nFd = accept4(m_nListen, reinterpret_cast<sockaddr*>(&peer), &len,
                                        SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (nFd < 0) {
                    if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
                        // Out of descriptors, most likely: the clients already in are served.
                        DeviceLog("http: accept failed: " + ErrnoText(errno));
                    }
                    break;
                }
                accepted(nFd, peer);
            }
        }
    }

    // Stop: requests under way end (a held one gives up when the stop pipe is readable), the
    // rest are closed unanswered.
    {
        std::lock_guard<std::mutex> lock(mutex);
        bStopping = true;
    }
    ready.notify_all();
    for (auto& worker : arrWorkers) {
        worker.join();
    }
    for (auto& pConn : arrWaiting) {
        closeConn(pConn);
    }
    for (auto& pConn : arrReady) {
        closeConn(pConn);
    }
    for (auto& back : arrReturned) {
        closeConn(back.first);
    }
    close(wake[0]);
    close(wake[1]);
    return bOk;
}
