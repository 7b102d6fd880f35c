// Search and account check over scripted networks: rules, order, failures; portable tests.
#include "discovery/search.h"
#include "fake_net.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const CTestDevice kA{{2, 0, 0, 0, 0, 0xA}, "NAS-A", MakeIPv4(10, 0, 1, 10), "alice", "pw-a"};
const CTestDevice kB{{2, 0, 0, 0, 0, 0xB}, "NAS-B", MakeIPv4(10, 0, 2, 10), "bob", "pw-b"};
const CTestDevice kC{{2, 0, 0, 0, 0, 0xC}, "NAS-C", MakeIPv4(10, 0, 2, 12), "carol", "pw-c"};
// kA answering under a new name and address.
const CTestDevice kA2{kA.mac, "NAS-A-renamed", MakeIPv4(10, 0, 2, 11), "alice", "pw-a"};

constexpr CNetEndpoint kBroadcast{MakeIPv4(255, 255, 255, 255), 915};

std::uint16_t SequenceOf(const CBytes& request) {
    return static_cast<std::uint16_t>(request[4] | (request[5] << 8));
}

class DiscoverySearch : public ::testing::Test {
protected:
    void SetUp() override { g_nRequestSequence = 0; }
    void TearDown() override { EXPECT_EQ(m_net.m_nOpenSockets, 0) << "a socket was left open"; }

    bool Search() { return fnSearchDevice(m_net, m_options, m_list, true, 0, "", ""); }
    bool Check(int nIndex, const std::string& strUser, const std::string& strPassword) {
        return fnSearchDevice(m_net, m_options, m_list, false, nIndex, strUser, strPassword);
    }
    // Names and addresses of the list, in order, as "name@ip".
    static std::vector<std::string> Listed(const CDeviceList& list) {
        std::vector<std::string> arr;
        for (int i = 0; i < list.GetCount(); ++i)
            arr.push_back(DeviceNameText(*list.GetAt(i)) + "@" + IPv4Text(list.GetAt(i)->ip));
        return arr;
    }
    std::vector<std::string> Listed() const { return Listed(m_list); }
    static std::string Entry(const CTestDevice& d) { return d.strName + "@" + IPv4Text(d.nIp); }

    CFakeNet m_net;
    CSearchOptions m_options;
    CDeviceList m_list;
};

// The same rules hold whether the passes run at once or one after another.
TEST_F(DiscoverySearch, ListKeepsPassOrderWhateverTheArrivalOrder) {
    for (const bool bOneAfterAnother : {false, true}) {
        SCOPED_TRACE(bOneAfterAnother ? "one after another" : "at once");
        CFakeNet net;
        CDeviceList list;
        m_options.bOneAfterAnother = bOneAfterAnother;
        net.m_arrLocal = {FakeLocal(1), FakeLocal(2)};
        // The first network's device answers late, after the second network's.
        net.m_fnRespond = [](std::uint32_t nLocal, std::span<const std::uint8_t>) {
            if (nLocal == FakeLocal(1))
                return std::vector<CFakeNet::CReply>{{MakeSearchReply(kA), 3}};
            return std::vector<CFakeNet::CReply>{{MakeSearchReply(kB), 0}};
        };
        EXPECT_TRUE(fnSearchDevice(net, m_options, list, true, 0, "", ""));
        EXPECT_EQ(Listed(list), (std::vector<std::string>{Entry(kA), Entry(kB)}));
        EXPECT_EQ(net.m_nOpenSockets, 0);

        ASSERT_EQ(net.m_arrSent.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            const auto& sent = net.m_arrSent[i];
            EXPECT_EQ(sent.nFrom, FakeLocal(static_cast<std::uint8_t>(i + 1)));
            EXPECT_EQ(sent.to.nAddr, kBroadcast.nAddr);
            EXPECT_EQ(sent.to.nPort, kBroadcast.nPort);
            EXPECT_TRUE(sent.bBroadcast);
            EXPECT_EQ(sent.bytes.size(), 8u);
        }
    }
}

// A known device answering refreshes its record and the pass goes on to the devices after it.
TEST_F(DiscoverySearch, DeviceAnsweringInTwoPassesIsRefreshedAndSearchGoesOn) {
    for (const bool bOneAfterAnother : {false, true}) {
        SCOPED_TRACE(bOneAfterAnother ? "one after another" : "at once");
        CFakeNet net;
        CDeviceList list;
        m_options.bOneAfterAnother = bOneAfterAnother;
        net.SetNetworks({{FakeLocal(1), {kA}}, {FakeLocal(2), {kA2, kC}}});
        EXPECT_TRUE(fnSearchDevice(net, m_options, list, true, 0, "", ""));
        EXPECT_EQ(Listed(list), (std::vector<std::string>{Entry(kA2), Entry(kC)}));
    }
}

TEST_F(DiscoverySearch, LaterSearchRefreshesKnownDevicesAndAppendsNewOnes) {
    m_net.SetNetworks({{FakeLocal(1), {kA, kB}}});
    ASSERT_TRUE(Search());
    m_net.SetNetworks({{FakeLocal(1), {kA2, kC, kB}}});
    EXPECT_TRUE(Search());
    EXPECT_EQ(Listed(), (std::vector<std::string>{Entry(kA2), Entry(kB), Entry(kC)}));
}

TEST_F(DiscoverySearch, OnlyRepliesWithStatusZeroCount) {
    const CTestDevice refused{{2, 0, 0, 0, 0, 0xD}, "NAS-D", MakeIPv4(10, 0, 1, 13), "", ""};
    const CTestDevice shortOne{
        {2, 0, 0, 0, 0, 0xE}, "NAS-E-LONGNAME", MakeIPv4(10, 0, 1, 14), "", ""};
    m_net.m_arrLocal = {FakeLocal(1)};
    m_net.m_fnRespond = [&](std::uint32_t, std::span<const std::uint8_t>) {
        CBytes forty = MakeSearchReply(shortOne);
        forty.resize(40);
        return std::vector<CFakeNet::CReply>{{MakeSearchReply(refused, 1), 0},
                                             {CBytes{0, 0, 0, 0, 0, 0, 0}, 0},
                                             {MakeSearchReply(kA), 0},
                                             {forty, 0}};
    };
    EXPECT_TRUE(Search());
    EXPECT_EQ(Listed(), (std::vector<std::string>{Entry(kA), "NAS-E-@0.0.0.0"}));
}

TEST_F(DiscoverySearch, NoLocalAddressSendsNothing) {
    m_list.AddTail(NAS_DEVICE_INFO{{2, 0, 0, 0, 0, 0xA}, "NAS-A", 0});
    EXPECT_TRUE(Search());
    // No request could go out, so no acceptance was seen.
    EXPECT_FALSE(Check(0, "alice", "pw-a"));
    EXPECT_TRUE(m_net.m_arrSent.empty());
    EXPECT_EQ(m_list.GetCount(), 1);
}

TEST_F(DiscoverySearch, AtMostTenLocalAddressesAreUsed) {
    for (std::uint8_t n = 1; n <= 12; ++n)
        m_net.m_arrLocal.push_back(FakeLocal(n));
    EXPECT_TRUE(Search());
    EXPECT_EQ(m_net.m_arrBound,
              std::vector<std::uint32_t>(m_net.m_arrLocal.begin(), m_net.m_arrLocal.begin() + 10));
    EXPECT_EQ(m_net.m_arrSent.size(), 10u);
}

TEST_F(DiscoverySearch, SequenceCountsOverPassesAndCallsAndWraps) {
    m_net.SetNetworks({{FakeLocal(1), {kA}}, {FakeLocal(2), {kB}}});
    g_nRequestSequence = 65534;
    EXPECT_TRUE(Search());
    EXPECT_TRUE(Check(0, "alice", "pw-a"));
    std::vector<std::uint16_t> arrSeen;
    for (const auto& sent : m_net.m_arrSent)
        arrSeen.push_back(SequenceOf(sent.bytes));
    EXPECT_EQ(arrSeen, (std::vector<std::uint16_t>{65534, 65535, 0, 1}));
    EXPECT_EQ(g_nRequestSequence, 65538u);

    EXPECT_TRUE(fnStartSockets(m_net));
    EXPECT_EQ(g_nRequestSequence, 0u);
}

TEST_F(DiscoverySearch, AccountCheckAsksTheChosenDevice) {
    m_net.SetNetworks({{FakeLocal(1), {kA}}, {FakeLocal(2), {kB}}});
    ASSERT_TRUE(Search());
    ASSERT_EQ(m_list.GetCount(), 2);

    struct Case {
        int nIndex;
        std::string strUser, strPassword;
        bool bAccepted;
    };
    const Case cases[] = {
        {0, "alice", "pw-a", true},  {1, "bob", "pw-b", true}, {0, "alice", "wrong", false},
        {1, "alice", "pw-a", false}, {0, "", "pw-a", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nIndex);
        SCOPED_TRACE(c.strUser + ":" + c.strPassword);
        m_net.m_arrSent.clear();
        EXPECT_EQ(Check(c.nIndex, c.strUser, c.strPassword), c.bAccepted);
        ASSERT_FALSE(m_net.m_arrSent.empty());
        const CBytes& req = m_net.m_arrSent.front().bytes;
        ASSERT_EQ(req.size(), 49u);
        EXPECT_TRUE(std::equal(req.begin() + 8, req.begin() + 14, m_list.GetAt(c.nIndex)->mac));
    }

    m_net.m_arrSent.clear();
    EXPECT_FALSE(Check(-1, "alice", "pw-a"));
    EXPECT_FALSE(Check(2, "alice", "pw-a"));
    EXPECT_TRUE(m_net.m_arrSent.empty());
}

// Any host can send a status 0: only a reply from the tested device's own address that carries
// its MAC is its answer. The first acceptance ends the check.
TEST_F(DiscoverySearch, OnlyTheTestedDeviceAnswersForItsAccounts) {
    m_list.AddTail(NAS_DEVICE_INFO{{2, 0, 0, 0, 0, 0xA}, "NAS-A", kA.nIp});
    m_net.m_arrLocal = {FakeLocal(1)};
    const struct {
        const char* what;
        CFakeNet::CReply reply;
        bool bAccepted;
    } cases[] = {
        {"the device", {MakeSearchReply(kA, 0), 0, kA.nIp}, true},
        {"its MAC from another address", {MakeSearchReply(kA, 0), 0, kB.nIp}, false},
        {"another MAC from its address", {MakeSearchReply(kB, 0), 0, kA.nIp}, false},
        {"a bare status from its address", {MakeStatusReply(0), 0, kA.nIp}, false},
        {"its refusal", {MakeSearchReply(kA, 1), 0, kA.nIp}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_net.m_fnRespond = [&](std::uint32_t, std::span<const std::uint8_t>) {
            return std::vector<CFakeNet::CReply>{c.reply};
        };
        EXPECT_EQ(Check(0, "x", "y"), c.bAccepted);
    }

    m_net.m_arrLocal = {FakeLocal(1), FakeLocal(2)};
    // The device accepts at once on the first network; the second network stays busy.
    m_net.m_fnRespond = [](std::uint32_t nLocal, std::span<const std::uint8_t>) {
        if (nLocal == FakeLocal(1))
            return std::vector<CFakeNet::CReply>{{MakeSearchReply(kA, 0), 0, kA.nIp}};
        return std::vector<CFakeNet::CReply>{{MakeStatusReply(1), 5}};
    };
    m_net.m_nWaits = 0;
    EXPECT_TRUE(Check(0, "x", "y"));
    EXPECT_EQ(m_net.m_nWaits, 1);

    // The reference way runs every pass to its silence: a datagram and the silence, twice.
    m_options.bOneAfterAnother = true;
    m_net.m_nWaits = 0;
    EXPECT_TRUE(Check(0, "x", "y"));
    EXPECT_EQ(m_net.m_nWaits, 4);
}

TEST_F(DiscoverySearch, FailedWaitEndsTheRoutine) {
    m_net.SetNetworks({{FakeLocal(1), {kA}}});
    m_net.m_bFailWait = true;
    EXPECT_FALSE(Search());
    m_list.AddTail(NAS_DEVICE_INFO{{2, 0, 0, 0, 0, 0xA}, "NAS-A", 0});
    EXPECT_FALSE(Check(0, "alice", "pw-a"));
}

TEST_F(DiscoverySearch, OversizedReplyFailsButKeepsWhatWasFound) {
    m_net.m_arrLocal = {FakeLocal(1), FakeLocal(2)};
    m_net.m_fnRespond = [](std::uint32_t nLocal, std::span<const std::uint8_t>) {
        if (nLocal == FakeLocal(1))
            return std::vector<CFakeNet::CReply>{{MakeSearchReply(kA), 0}};
        return std::vector<CFakeNet::CReply>{{CBytes(1025, 0), 1}};
    };
    EXPECT_FALSE(Search());
    EXPECT_EQ(Listed(), std::vector<std::string>{Entry(kA)});
}

TEST_F(DiscoverySearch, SetUpFailureLeavesLaterAddressesUntried) {
    m_net.SetNetworks({{FakeLocal(1), {kA}}, {FakeLocal(2), {kB}}, {FakeLocal(3), {kC}}});
    m_net.m_setFailBind = {FakeLocal(2)};
    EXPECT_FALSE(Search());
    // The pass already under way still collects its replies, as it would one after another.
    EXPECT_EQ(Listed(), std::vector<std::string>{Entry(kA)});
    EXPECT_EQ(m_net.m_arrSent.size(), 1u);

    m_net.m_setFailBind.clear();
    m_net.m_setFailSend = {FakeLocal(1)};
    m_net.m_arrSent.clear();
    EXPECT_FALSE(Check(0, "alice", "pw-a"));
    EXPECT_TRUE(m_net.m_arrSent.empty());
    EXPECT_EQ(m_net.m_arrBound.back(), FakeLocal(1));
}

} // namespace
