// Discovery on loopback: a redirecting socket library, a device responder; test support, portable.
#include "loopback.h"

#include "discovery/datagram.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace {

class CRedirectSocket final : public CUdpSocket {
public:
    CRedirectSocket(std::unique_ptr<CUdpSocket> pInner, const std::vector<CNetEndpoint>& arrTargets)
        : m_pInner(std::move(pInner)), m_arrTargets(arrTargets) {}

    CUdpSocket* Inner() const { return m_pInner.get(); }

    bool EnableBroadcast() override { return m_pInner->EnableBroadcast(); }
    bool Bind(const CNetEndpoint& local) override { return m_pInner->Bind(local); }
    bool SendTo(std::span<const std::uint8_t> data, const CNetEndpoint& to) override {
        if (to.nAddr != MakeIPv4(255, 255, 255, 255) || to.nPort != 915)
            return m_pInner->SendTo(data, to);
        for (const CNetEndpoint& target : m_arrTargets)
            if (!m_pInner->SendTo(data, target))
                return false;
        return true;
    }
    int Receive(std::span<std::uint8_t> buffer, CNetEndpoint* pFrom) override {
        return m_pInner->Receive(buffer, pFrom);
    }
    CNetEndpoint LocalEndpoint() const override { return m_pInner->LocalEndpoint(); }

private:
    std::unique_ptr<CUdpSocket> m_pInner;
    std::vector<CNetEndpoint> m_arrTargets;
};

} // namespace

std::unique_ptr<CUdpSocket> CRedirectNet::OpenUdp() {
    auto pInner = m_inner.OpenUdp();
    if (!pInner)
        return nullptr;
    return std::make_unique<CRedirectSocket>(std::move(pInner), m_arrTargets);
}

ENetWait CRedirectNet::WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                                    std::vector<bool>& arrReady) {
    std::vector<CUdpSocket*> arrInner;
    for (CUdpSocket* pSocket : sockets)
        arrInner.push_back(static_cast<CRedirectSocket*>(pSocket)->Inner());
    return m_inner.WaitReadable(arrInner, nTimeoutMs, arrReady);
}

std::uint32_t ArrivingLoopbackSender(CNet& net, std::uint32_t nBindAddr) {
    auto pFrom = net.OpenUdp();
    auto pTo = net.OpenUdp();
    if (!pFrom || !pTo || !pFrom->Bind({nBindAddr, 0}) || !pTo->Bind({kLoopback, 0}))
        return 0;
    const std::uint8_t probe[1] = {0};
    if (!pFrom->SendTo(probe, pTo->LocalEndpoint()))
        return 0;
    CUdpSocket* const arrSockets[] = {pTo.get()};
    std::vector<bool> arrReady;
    std::array<std::uint8_t, 16> arrBuffer{};
    CNetEndpoint from;
    if (net.WaitReadable(arrSockets, 2000, arrReady) != ENetWait::Ready ||
        pTo->Receive(arrBuffer, &from) != 1)
        return 0;
    return from.nAddr;
}

CLoopbackResponder::CLoopbackResponder(CNet& net, std::vector<CTestDevice> arrDevices,
                                       CResponderSetup setup)
    : m_net(net), m_arrDevices(std::move(arrDevices)), m_setup(std::move(setup)) {
    std::vector<std::uint32_t> arrAddrs;
    if (m_setup.bOwnAddresses)
        for (const CTestDevice& device : m_arrDevices)
            arrAddrs.push_back(device.nIp);
    else
        arrAddrs.push_back(m_setup.nBindAddr);
    for (const std::uint32_t nAddr : arrAddrs) {
        auto pSocket = m_net.OpenUdp();
        if (!pSocket || !pSocket->Bind({nAddr, 0})) {
            m_arrSockets.clear();
            m_arrEndpoints.clear();
            return;
        }
        m_arrEndpoints.push_back(pSocket->LocalEndpoint());
        m_arrSockets.push_back(std::move(pSocket));
    }
    m_thread = std::thread([this] { Serve(); });
}

CLoopbackResponder::~CLoopbackResponder() {
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<CBytes> CLoopbackResponder::Answer(std::span<const std::uint8_t> request,
                                               std::span<const CTestDevice> arrDevices) const {
    if (!m_setup.bImpostor) {
        std::vector<CBytes> arrReplies;
        for (const CTestDevice& device : arrDevices)
            for (CBytes& reply : AnswerRequest(device, request))
                arrReplies.push_back(std::move(reply));
        return arrReplies;
    }
    if (request.size() != kAccountCheckSize || request[0] != (kAccountCheckType & 0xFF))
        return {};
    CTestDevice named;
    std::copy(request.begin() + 8, request.begin() + 14, named.mac.begin());
    named.strName = "IMPOSTOR";
    return {MakeSearchReply(named, 0)};
}

// One thread serves every socket, in socket order, so that devices answer a fanned-out request in
// the order of their sockets.
void CLoopbackResponder::Serve() {
    using Clock = std::chrono::steady_clock;
    std::array<std::uint8_t, 2048> arrBuffer{};
    std::vector<bool> arrReady;
    std::vector<CUdpSocket*> arrSockets;
    for (const auto& pSocket : m_arrSockets)
        arrSockets.push_back(pSocket.get());
    // Who asked, on which socket.
    std::vector<std::pair<std::size_t, CNetEndpoint>> arrAsked;
    Clock::time_point nextChatter = Clock::now();
    while (!m_bStop) {
        if (m_setup.nChatterEveryMs > 0 && Clock::now() >= nextChatter) {
            for (const auto& [nSocket, to] : arrAsked)
                arrSockets[nSocket]->SendTo(m_setup.chatter, to);
            nextChatter = Clock::now() + std::chrono::milliseconds(m_setup.nChatterEveryMs);
        }
        // Short waits, so that the destructor is never kept waiting long.
        const ENetWait wait = m_net.WaitReadable(arrSockets, 20, arrReady);
        if (wait == ENetWait::Failed)
            break;
        if (wait == ENetWait::Timeout)
            continue;
        for (std::size_t i = 0; i < arrSockets.size(); ++i) {
            if (!arrReady[i])
                continue;
            CNetEndpoint from;
            const int nGot = arrSockets[i]->Receive(arrBuffer, &from);
            if (nGot < 0)
                continue;
            if (i == 0)
                ++m_nRequests;
            arrAsked.emplace_back(i, from);
            const auto devices = m_setup.bOwnAddresses
                                     ? std::span<const CTestDevice>(&m_arrDevices[i], 1)
                                     : std::span<const CTestDevice>(m_arrDevices);
            for (const CBytes& reply : Answer(
                     std::span<const std::uint8_t>(arrBuffer.data(), std::size_t(nGot)), devices))
                arrSockets[i]->SendTo(reply, from);
        }
    }
}
