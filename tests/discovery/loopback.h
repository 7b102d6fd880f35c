// Discovery on loopback: a redirecting socket library, a device responder; test support, portable.
#pragma once

#include "platform/net.h"
#include "test_devices.h"

#include <atomic>
#include <thread>

// Wraps a real socket library: reports the given local addresses and sends whatever goes to the
// discovery broadcast target to each of the given unicast endpoints instead, so that searches stay
// on loopback and still reach every device.
class CRedirectNet final : public CNet {
public:
    CRedirectNet(CNet& inner, std::vector<std::uint32_t> arrLocal,
                 std::vector<CNetEndpoint> arrTargets)
        : m_inner(inner), m_arrLocal(std::move(arrLocal)), m_arrTargets(std::move(arrTargets)) {}
    CRedirectNet(CNet& inner, std::vector<std::uint32_t> arrLocal, CNetEndpoint target)
        : CRedirectNet(inner, std::move(arrLocal), std::vector<CNetEndpoint>{target}) {}

    bool Startup() override { return m_inner.Startup(); }
    void Cleanup() override { m_inner.Cleanup(); }
    std::vector<std::uint32_t> LocalAddresses() override { return m_arrLocal; }
    std::unique_ptr<CUdpSocket> OpenUdp() override;
    ENetWait WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                          std::vector<bool>& arrReady) override;

private:
    CNet& m_inner;
    std::vector<std::uint32_t> m_arrLocal;
    std::vector<CNetEndpoint> m_arrTargets;
};

constexpr std::uint32_t kLoopback = MakeIPv4(127, 0, 0, 1);

// The sender address that a datagram from a socket bound to nBindAddr (in 127/8) shows on
// arrival; 0 when the probe fails. Linux keeps the bound address; other socket layers (Wine's)
// may show 127.0.0.1 for every loopback address.
std::uint32_t ArrivingLoopbackSender(CNet& net, std::uint32_t nBindAddr);

// How a loopback responder behaves beyond answering for its devices.
struct CResponderSetup {
    // The address its replies come from: any 127.x.y.z serves.
    std::uint32_t nBindAddr = kLoopback;
    // Each device answers instead on a socket of its own, bound to its own address (which must
    // then be in 127/8), as separate hosts would.
    bool bOwnAddresses = false;
    // Sent to every host that asked, every nChatterEveryMs, for as long as the responder runs.
    CBytes chatter;
    int nChatterEveryMs = 0;
    // Answers no search, and every account check with status 0 and the MAC the check names.
    bool bImpostor = false;
};

// Answers discovery requests for a set of devices from its own thread, on a loopback port.
class CLoopbackResponder {
public:
    CLoopbackResponder(CNet& net, std::vector<CTestDevice> arrDevices, CResponderSetup setup = {});
    ~CLoopbackResponder();
    CLoopbackResponder(const CLoopbackResponder&) = delete;
    CLoopbackResponder& operator=(const CLoopbackResponder&) = delete;

    // Where requests go, one endpoint per socket; empty when the responder could not start.
    const std::vector<CNetEndpoint>& Endpoints() const { return m_arrEndpoints; }
    // The first of them; port 0 when the responder could not start.
    CNetEndpoint Endpoint() const {
        return m_arrEndpoints.empty() ? CNetEndpoint{} : m_arrEndpoints.front();
    }
    // Requests that reached its first socket.
    int RequestsSeen() const { return m_nRequests.load(); }

private:
    void Serve();
    std::vector<CBytes> Answer(std::span<const std::uint8_t> request,
                               std::span<const CTestDevice> arrDevices) const;

    CNet& m_net;
    std::vector<CTestDevice> m_arrDevices;
    CResponderSetup m_setup;
    std::vector<std::unique_ptr<CUdpSocket>> m_arrSockets;
    std::vector<CNetEndpoint> m_arrEndpoints;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nRequests{0};
    std::thread m_thread;
};
