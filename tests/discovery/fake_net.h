// An in-memory socket library whose networks tests script; test support, portable.
#pragma once

#include "platform/net.h"
#include "test_devices.h"

#include <deque>
#include <functional>
#include <set>

// Local addresses stand for networks: a request sent from a socket bound to one is answered by
// m_fnRespond, and the answers wait on that socket. Nothing blocks: a wait with no datagram queued
// on its sockets times out at once.
class CFakeNet final : public CNet {
public:
    struct CReply {
        CBytes bytes;
        int nAfterWaits = 0;     // comes only after this many waits that saw other datagrams
        std::uint32_t nFrom = 0; // the sender's address
    };
    struct CSent {
        std::uint32_t nFrom = 0;
        CNetEndpoint to;
        CBytes bytes;
        bool bBroadcast = false;
    };

    std::vector<std::uint32_t> m_arrLocal;
    std::function<std::vector<CReply>(std::uint32_t nLocal, std::span<const std::uint8_t> request)>
        m_fnRespond;
    std::set<std::uint32_t> m_setFailBind; // local addresses whose bind fails
    std::set<std::uint32_t> m_setFailSend;
    bool m_bFailWait = false;

    std::vector<CSent> m_arrSent;
    std::vector<std::uint32_t> m_arrBound;
    int m_nOpenSockets = 0;
    int m_nWaits = 0;

    bool Startup() override { return true; }
    void Cleanup() override {}
    std::vector<std::uint32_t> LocalAddresses() override { return m_arrLocal; }
    std::unique_ptr<CUdpSocket> OpenUdp() override;
    ENetWait WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                          std::vector<bool>& arrReady) override;

    // Devices reachable from each local address, answering from their own addresses as
    // AnswerRequest says.
    void SetNetworks(std::vector<std::pair<std::uint32_t, std::vector<CTestDevice>>> arrNetworks);
};

// Address 10.0.n.1, one per scripted network.
constexpr std::uint32_t FakeLocal(std::uint8_t n) {
    return MakeIPv4(10, 0, n, 1);
}
