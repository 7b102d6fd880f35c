// Discovery on loopback: a redirecting socket library, a device responder; test support, portable.
// portable.
#pragma once

#include "platform/net.h"
#include "test_devices.h"

#include <atomic>
#include <thread>

// Wraps a real socket library: reports the given local addresses and sends whatever goes to the
// discovery broadcast target to one unicast endpoint instead, so that searches stay on loopback.
class CRedirectNet final : public CNet {
public:
    CRedirectNet(CNet& inner, std::vector<std::uint32_t> arrLocal, CNetEndpoint target)
        : m_inner(inner), m_arrLocal(std::move(arrLocal)), m_target(target) {}

    bool Startup() override { return m_inner.Startup(); }
    void Cleanup() override { m_inner.Cleanup(); }
    std::vector<std::uint32_t> LocalAddresses() override { return m_arrLocal; }
    std::unique_ptr<CUdpSocket> OpenUdp() override;
    ENetWait WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                          std::vector<bool>& arrReady) override;

private:
    CNet& m_inner;
    std::vector<std::uint32_t> m_arrLocal;
    CNetEndpoint m_target;
};

// Answers discovery requests for a set of devices from its own thread, on a loopback port.
class CLoopbackResponder {
public:
    CLoopbackResponder(CNet& net, std::vector<CTestDevice> arrDevices);
    ~CLoopbackResponder();
    CLoopbackResponder(const CLoopbackResponder&) = delete;
    CLoopbackResponder& operator=(const CLoopbackResponder&) = delete;

    // Where requests go; port 0 when the responder could not start.
    CNetEndpoint Endpoint() const { return m_endpoint; }
    int RequestsSeen() const { return m_nRequests.load(); }

private:
    void Serve();

    CNet& m_net;
    std::vector<CTestDevice> m_arrDevices;
    std::unique_ptr<CUdpSocket> m_pSocket;
    CNetEndpoint m_endpoint;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nRequests{0};
    std::thread m_thread;
};

constexpr std::uint32_t kLoopback = MakeIPv4(127, 0, 0, 1);
