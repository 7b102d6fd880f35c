// The device search and the account check over UDP broadcast; portable.
#include "discovery/search.h"

#include "discovery/datagram.h"
#include "platform/debug_output.h"
#include "platform/net.h"
#include "platform/system.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

std::uint32_t g_nRequestSequence = 0;

namespace {

using Clock = std::chrono::steady_clock;

// Every request goes to the limited broadcast address on the devices' discovery port.
constexpr CNetEndpoint kDiscoveryTarget{MakeIPv4(255, 255, 255, 255), 915};
constexpr std::size_t kMaxLocalAddresses = 10;

// One local address: its socket, the end of its current silence, the end that no reply can put
// off, and the devices that answered on it, in the order their replies came.
struct CPass {
    std::uint32_t nLocalAddr = 0;
    std::unique_ptr<CUdpSocket> pSocket;
    Clock::time_point deadline;
    Clock::time_point limit;
    std::vector<NAS_DEVICE_INFO> arrFound;
};

// Done: a valid reply was taken (its silence starts afresh); Ignored: a datagram that is no reply
// to this request was taken, and the silence goes on; Nothing: none was there after all.
enum class EOutcome { Done, Ignored, Nothing, Accepted, Failed };

class CSearchRun {
public:
    CSearchRun(CNet& net, const CSearchOptions& options, bool bSearch,
               const NAS_DEVICE_INFO* pTarget, std::string_view strUser,
               std::string_view strPassword)
        : m_net(net), m_options(options), m_bSearch(bSearch), m_pTarget(pTarget),
          m_strUser(strUser), m_strPassword(strPassword) {}

    // Creates the pass's socket and sends its one request.
    bool Open(CPass& pass) {
        pass.pSocket = m_net.OpenUdp();
        if (!pass.pSocket)
            return Failed(pass, "socket");
        if (!pass.pSocket->EnableBroadcast())
            return Failed(pass, "SO_BROADCAST");
        if (!pass.pSocket->Bind({pass.nLocalAddr, 0}))
            return Failed(pass, "bind");
        const auto nSequence = static_cast<std::uint16_t>(g_nRequestSequence++);
        bool bSent;
        if (m_bSearch) {
            bSent = pass.pSocket->SendTo(EncodeSearchRequest(nSequence), kDiscoveryTarget);
        } else {
            const CAccountCheckRequest req =
                EncodeAccountCheck(nSequence, m_pTarget->mac, m_strUser, m_strPassword);
            bSent = pass.pSocket->SendTo(req.arrBytes, kDiscoveryTarget);
        }
        if (!bSent)
            return Failed(pass, "sendto");
        const Clock::time_point now = Clock::now();
        pass.limit = now + std::chrono::milliseconds(m_options.nPassLimitMs);
        pass.deadline = std::min(now + Silence(), pass.limit);
        return true;
    }

    // Receives on all given passes at once until each has had its silence. Each pass keeps its
    // own silence timer, restarted only by a valid reply on it, so that stray or hostile
    // datagrams cannot keep a pass open; and no pass outlives its limit.
    EOutcome Run(std::vector<CPass*> arrActive) {
        std::vector<CUdpSocket*> arrSockets;
        std::vector<bool> arrReady;
        while (!arrActive.empty()) {
            Clock::time_point earliest = arrActive.front()->deadline;
            for (const CPass* pPass : arrActive)
                earliest = std::min(earliest, pPass->deadline);
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now()).count();
            arrSockets.clear();
            for (CPass* pPass : arrActive)
                arrSockets.push_back(pPass->pSocket.get());

            const ENetWait wait = m_net.WaitReadable(
                arrSockets, static_cast<int>(std::max<long long>(left, 0)), arrReady);
            if (wait == ENetWait::Failed) {
                mwDebugOutput("fnSearchDevice: waiting for replies failed: " + GetLastErrorText());
                return EOutcome::Failed;
            }
            std::vector<CPass*> arrNext;
            if (wait == ENetWait::Timeout) {
                // The earliest silence ran out; so did any that ends no later.
                for (CPass* pPass : arrActive)
                    if (pPass->deadline > earliest)
                        arrNext.push_back(pPass);
                    else
                        pPass->pSocket.reset();
            } else {
                const Clock::time_point now = Clock::now();
                for (std::size_t i = 0; i < arrActive.size(); ++i) {
                    CPass* pPass = arrActive[i];
                    if (arrReady[i]) {
                        const EOutcome outcome = ReceiveOne(*pPass);
                        if (outcome == EOutcome::Failed || outcome == EOutcome::Accepted)
                            return outcome;
                        if (outcome == EOutcome::Done)
                            pPass->deadline = std::min(Clock::now() + Silence(), pPass->limit);
                    }
                    if (pPass->deadline <= now) {
                        pPass->pSocket.reset();
                    } else {
                        arrNext.push_back(pPass);
                    }
                }
            }
            arrActive.swap(arrNext);
        }
        return EOutcome::Done;
    }

    bool Accepted() const { return m_bAccepted; }

private:
    std::chrono::milliseconds Silence() const {
        return std::chrono::milliseconds(m_options.nSilenceMs);
    }

    bool Failed(CPass& pass, const char* pszStep) {
        mwDebugOutput(std::string("fnSearchDevice: ") + pszStep + " failed for " +
                      IPv4Text(pass.nLocalAddr) + ": " + GetLastErrorText());
        pass.pSocket.reset();
        return false;
    }

    EOutcome ReceiveOne(CPass& pass) {
        std::array<std::uint8_t, kMaxReplySize> arrBuffer{};
        CNetEndpoint from;
        const int nGot = pass.pSocket->Receive(arrBuffer, &from);
        if (nGot == kNetNothingToRead)
            return EOutcome::Nothing;
        if (nGot < 0) {
            mwDebugOutput("fnSearchDevice: receive failed on " + IPv4Text(pass.nLocalAddr) + ": " +
                          GetLastErrorText());
            return EOutcome::Failed;
        }
        const auto reply =
            DecodeReply(std::span<const std::uint8_t>(arrBuffer.data(), std::size_t(nGot)));
        if (!reply || !reply->bCarriesMac)
            return EOutcome::Ignored;
        if (m_bSearch) {
            if (reply->nStatus != 0)
                return EOutcome::Ignored;
            pass.arrFound.push_back(reply->device);
            return EOutcome::Done;
        }
        // Only the tested device speaks for its accounts: any host on the network can send a
        // status 0, so the answer must come from the device's address and name its MAC.
        if (from.nAddr != m_pTarget->ip ||
            std::memcmp(reply->device.mac, m_pTarget->mac, sizeof m_pTarget->mac) != 0) {
            mwDebugOutput("fnSearchDevice: account check reply from " + IPv4Text(from.nAddr) +
                          " ignored: not the tested device");
            return EOutcome::Ignored;
        }
        if (reply->nStatus != 0)
            return EOutcome::Done;
        m_bAccepted = true;
        return m_options.bOneAfterAnother ? EOutcome::Done : EOutcome::Accepted;
    }

    CNet& m_net;
    const CSearchOptions& m_options;
    bool m_bSearch;
    const NAS_DEVICE_INFO* m_pTarget;
    std::string_view m_strUser;
    std::string_view m_strPassword;
    bool m_bAccepted = false;
};

// Adds the devices that answered, pass by pass, so that the list gets the same order however the
// replies of different passes were interleaved. A known device gets the newer name and address.
void Merge(CDeviceList& list, std::vector<CPass>& arrPasses) {
    for (CPass& pass : arrPasses) {
        for (const NAS_DEVICE_INFO& found : pass.arrFound) {
            if (NAS_DEVICE_INFO* pKnown = list.Find(found.mac)) {
                std::memcpy(pKnown->name, found.name, sizeof found.name);
                pKnown->ip = found.ip;
            } else {
                list.AddTail(found);
            }
        }
        pass.arrFound.clear();
    }
}

} // namespace

bool fnStartSockets(CNet& net) {
    if (!net.Startup())
        return false;
    g_nRequestSequence = 0;
    return true;
}

void fnStopSockets(CNet& net) {
    net.Cleanup();
}

bool fnStartSockets() {
    return fnStartSockets(GetNet());
}

void fnStopSockets() {
    fnStopSockets(GetNet());
}

bool fnSearchDevice(CDeviceList& list, bool bSearch, int nIndex, std::string_view strUser,
                    std::string_view strPassword) {
    return fnSearchDevice(GetNet(), CSearchOptions{}, list, bSearch, nIndex, strUser, strPassword);
}

bool fnSearchDevice(CNet& net, const CSearchOptions& options, CDeviceList& list, bool bSearch,
                    int nIndex, std::string_view strUser, std::string_view strPassword) {
    const NAS_DEVICE_INFO* pTarget = nullptr;
    if (!bSearch) {
        pTarget = list.GetAt(nIndex);
        if (!pTarget) {
            mwDebugOutput("fnSearchDevice: no device at position " + std::to_string(nIndex));
            return false;
        }
        if (strUser.size() > kAccountNameField)
            mwDebugOutput("fnSearchDevice: account name longer than " +
                          std::to_string(kAccountNameField) + " bytes, cut to its field");
        if (strPassword.size() > kPasswordField)
            mwDebugOutput("fnSearchDevice: password longer than " + std::to_string(kPasswordField) +
                          " bytes, cut to its field");
    }

    std::vector<std::uint32_t> arrAddrs = net.LocalAddresses();
    if (arrAddrs.size() > kMaxLocalAddresses)
        arrAddrs.resize(kMaxLocalAddresses);
    if (arrAddrs.empty()) {
        // Nothing can be sent: a search finds nothing new, an account check sees no acceptance.
        mwDebugOutput("fnSearchDevice: no local IPv4 address");
        return bSearch;
    }

    std::vector<CPass> arrPasses(arrAddrs.size());
    for (std::size_t i = 0; i < arrAddrs.size(); ++i)
        arrPasses[i].nLocalAddr = arrAddrs[i];
    CSearchRun run(net, options, bSearch, pTarget, strUser, strPassword);

    if (options.bOneAfterAnother) {
        for (CPass& pass : arrPasses) {
            const bool bOk = run.Open(pass) && run.Run({&pass}) == EOutcome::Done;
            pass.pSocket.reset();
            if (bSearch)
                Merge(list, arrPasses);
            if (!bOk)
                return false;
        }
        return bSearch || run.Accepted();
    }

    // All passes at once: every request goes out first, then one wait covers every socket.
    // A failure while setting up a pass leaves the later addresses untried, as it would one
    // after another, while the passes already under way still collect their replies.
    std::vector<CPass*> arrOpen;
    bool bSetupFailed = false;
    for (CPass& pass : arrPasses) {
        if (!run.Open(pass)) {
            bSetupFailed = true;
            break;
        }
        arrOpen.push_back(&pass);
    }
    if (bSetupFailed && !bSearch)
        return false;
    const EOutcome outcome = run.Run(arrOpen);
    for (CPass& pass : arrPasses)
        pass.pSocket.reset();
    if (bSearch)
        Merge(list, arrPasses);
    if (outcome == EOutcome::Failed || bSetupFailed)
        return false;
    return bSearch || outcome == EOutcome::Accepted;
}
