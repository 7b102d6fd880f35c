// An in-memory socket library whose networks tests script; test support, portable.
#include "fake_net.h"

#include <algorithm>

namespace {

class CFakeSocket final : public CUdpSocket {
public:
    explicit CFakeSocket(CFakeNet& net) : m_net(net) { ++m_net.m_nOpenSockets; }
    ~CFakeSocket() override { --m_net.m_nOpenSockets; }
    CFakeSocket(const CFakeSocket&) = delete;
    CFakeSocket& operator=(const CFakeSocket&) = delete;

    bool EnableBroadcast() override {
        m_bBroadcast = true;
        return true;
    }
    bool Bind(const CNetEndpoint& local) override {
        if (local.nPort != 0 || m_net.m_setFailBind.count(local.nAddr))
            return false;
        m_nLocal = local.nAddr;
        m_net.m_arrBound.push_back(local.nAddr);
        return true;
    }
    bool SendTo(std::span<const std::uint8_t> data, const CNetEndpoint& to) override {
        if (m_net.m_setFailSend.count(m_nLocal))
            return false;
        m_net.m_arrSent.push_back({m_nLocal, to, CBytes(data.begin(), data.end()), m_bBroadcast});
        if (m_net.m_fnRespond)
            for (auto& reply : m_net.m_fnRespond(m_nLocal, data))
                m_queue.push_back(std::move(reply));
        return true;
    }
    int Receive(std::span<std::uint8_t> buffer, CNetEndpoint* pFrom) override {
        if (!Readable())
            return -1;
        const CBytes bytes = std::move(m_queue.front().bytes);
        if (pFrom)
            *pFrom = {m_queue.front().nFrom, 915};
        m_queue.pop_front();
        if (bytes.size() > buffer.size())
            return -1;
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        return static_cast<int>(bytes.size());
    }
    CNetEndpoint LocalEndpoint() const override { return {m_nLocal, 40000}; }

    bool Readable() const { return !m_queue.empty() && m_queue.front().nAfterWaits <= 0; }
    bool Pending() const { return !m_queue.empty(); }
    void OneWaitPassed() {
        for (auto& reply : m_queue)
            --reply.nAfterWaits;
    }

private:
    CFakeNet& m_net;
    std::uint32_t m_nLocal = 0;
    bool m_bBroadcast = false;
    std::deque<CFakeNet::CReply> m_queue;
};

} // namespace

std::unique_ptr<CUdpSocket> CFakeNet::OpenUdp() {
    return std::make_unique<CFakeSocket>(*this);
}

ENetWait CFakeNet::WaitReadable(std::span<CUdpSocket* const> sockets, int,
                                std::vector<bool>& arrReady) {
    ++m_nWaits;
    if (m_bFailWait)
        return ENetWait::Failed;
    arrReady.assign(sockets.size(), false);
    for (;;) {
        bool bAny = false, bPending = false;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            auto* pSocket = static_cast<CFakeSocket*>(sockets[i]);
            arrReady[i] = pSocket->Readable();
            bAny = bAny || arrReady[i];
            bPending = bPending || pSocket->Pending();
        }
        for (CUdpSocket* pSocket : sockets)
            static_cast<CFakeSocket*>(pSocket)->OneWaitPassed();
        if (bAny)
            return ENetWait::Ready;
        // A late reply still comes within the silence; only an empty queue means silence.
        if (!bPending)
            return ENetWait::Timeout;
    }
}

void CFakeNet::SetNetworks(
    std::vector<std::pair<std::uint32_t, std::vector<CTestDevice>>> arrNetworks) {
    m_arrLocal.clear();
    for (const auto& network : arrNetworks)
        m_arrLocal.push_back(network.first);
    m_fnRespond = [arrNetworks](std::uint32_t nLocal, std::span<const std::uint8_t> request) {
        std::vector<CReply> arrReplies;
        for (const auto& [nAddr, arrDevices] : arrNetworks)
            if (nAddr == nLocal)
                for (const CTestDevice& device : arrDevices)
                    for (CBytes& bytes : AnswerRequest(device, request))
                        arrReplies.push_back({std::move(bytes), 0, device.nIp});
        return arrReplies;
    };
}
