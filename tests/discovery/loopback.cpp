// Discovery on loopback: a redirecting socket library, a device responder; test support, portable.
// portable.
#include "loopback.h"

#include "discovery/datagram.h"

#include <array>

namespace {

class CRedirectSocket final : public CUdpSocket {
public:
    CRedirectSocket(std::unique_ptr<CUdpSocket> pInner, CNetEndpoint target)
        : m_pInner(std::move(pInner)), m_target(target) {}

    CUdpSocket* Inner() const { return m_pInner.get(); }

    bool EnableBroadcast() override { return m_pInner->EnableBroadcast(); }
    bool Bind(const CNetEndpoint& local) override { return m_pInner->Bind(local); }
    bool SendTo(std::span<const std::uint8_t> data, const CNetEndpoint& to) override {
        const bool bBroadcast = to.nAddr == MakeIPv4(255, 255, 255, 255) && to.nPort == 915;
        return m_pInner->SendTo(data, bBroadcast ? m_target : to);
    }
    int Receive(std::span<std::uint8_t> buffer, CNetEndpoint* pFrom) override {
        return m_pInner->Receive(buffer, pFrom);
    }
    CNetEndpoint LocalEndpoint() const override { return m_pInner->LocalEndpoint(); }

private:
    std::unique_ptr<CUdpSocket> m_pInner;
    CNetEndpoint m_target;
};

} // namespace

std::unique_ptr<CUdpSocket> CRedirectNet::OpenUdp() {
    auto pInner = m_inner.OpenUdp();
    if (!pInner)
        return nullptr;
    return std::make_unique<CRedirectSocket>(std::move(pInner), m_target);
}

ENetWait CRedirectNet::WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                                    std::vector<bool>& arrReady) {
    std::vector<CUdpSocket*> arrInner;
    for (CUdpSocket* pSocket : sockets)
        arrInner.push_back(static_cast<CRedirectSocket*>(pSocket)->Inner());
    return m_inner.WaitReadable(arrInner, nTimeoutMs, arrReady);
}

CLoopbackResponder::CLoopbackResponder(CNet& net, std::vector<CTestDevice> arrDevices)
    : m_net(net), m_arrDevices(std::move(arrDevices)) {
    m_pSocket = m_net.OpenUdp();
    if (!m_pSocket || !m_pSocket->Bind({kLoopback, 0})) {
        m_pSocket.reset();
        return;
    }
    m_endpoint = m_pSocket->LocalEndpoint();
    m_thread = std::thread([this] { Serve(); });
}

CLoopbackResponder::~CLoopbackResponder() {
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CLoopbackResponder::Serve() {
    std::array<std::uint8_t, 2048> arrBuffer{};
    std::vector<bool> arrReady;
    CUdpSocket* const arrSockets[] = {m_pSocket.get()};
    while (!m_bStop) {
        // Short waits, so that the destructor is never kept waiting long.
        const ENetWait wait = m_net.WaitReadable(arrSockets, 20, arrReady);
        if (wait == ENetWait::Failed)
            break;
        if (wait == ENetWait::Timeout)
            continue;
        CNetEndpoint from;
        const int nGot = m_pSocket->Receive(arrBuffer, &from);
        if (nGot < 0)
            continue;
        ++m_nRequests;
        const std::span<const std::uint8_t> request(arrBuffer.data(), std::size_t(nGot));
        for (const CTestDevice& device : m_arrDevices)
            for (const CBytes& reply : AnswerRequest(device, request))
                m_pSocket->SendTo(reply, from);
    }
}
