// Socket library on loopback, and the search and account check through it; portable tests.
#include "discovery/search.h"
#include "loopback.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>

namespace {

class NetLoopback : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fnStartSockets()); }
    void TearDown() override { fnStopSockets(); }

    std::unique_ptr<CUdpSocket> BoundSocket() {
        auto pSocket = GetNet().OpenUdp();
        EXPECT_TRUE(pSocket);
        if (pSocket) {
            EXPECT_TRUE(pSocket->Bind({kLoopback, 0}));
        }
        return pSocket;
    }
};

TEST_F(NetLoopback, WaitMarksOnlyReadableSocketsAndReceiveNamesTheSender) {
    auto pA = BoundSocket(), pB = BoundSocket(), pC = BoundSocket();
    ASSERT_TRUE(pA && pB && pC);
    CUdpSocket* const arrSockets[] = {pA.get(), pB.get(), pC.get()};
    std::vector<bool> arrReady;
    EXPECT_EQ(GetNet().WaitReadable(arrSockets, 0, arrReady), ENetWait::Timeout);

    const CBytes data = {1, 2, 3, 4, 5};
    ASSERT_TRUE(pA->SendTo(data, pB->LocalEndpoint()));
    ASSERT_EQ(GetNet().WaitReadable(arrSockets, 5000, arrReady), ENetWait::Ready);
    EXPECT_EQ(arrReady, (std::vector<bool>{false, true, false}));

    std::array<std::uint8_t, 1024> arrBuffer{};
    CNetEndpoint from;
    ASSERT_EQ(pB->Receive(arrBuffer, &from), 5);
    EXPECT_EQ(CBytes(arrBuffer.begin(), arrBuffer.begin() + 5), data);
    EXPECT_EQ(from.nAddr, kLoopback);
    EXPECT_EQ(from.nPort, pA->LocalEndpoint().nPort);
}

TEST_F(NetLoopback, LocalAddressesLeaveOutLoopback) {
    for (const std::uint32_t nAddr : GetNet().LocalAddresses())
        EXPECT_NE(nAddr & 0xFF, 127u) << IPv4Text(nAddr);
}

TEST_F(NetLoopback, DatagramLargerThanTheBufferFailsTheReceive) {
    auto pA = BoundSocket(), pB = BoundSocket();
    ASSERT_TRUE(pA && pB);
    CUdpSocket* const arrSockets[] = {pB.get()};
    std::vector<bool> arrReady;
    std::array<std::uint8_t, 1024> arrBuffer{};

    ASSERT_TRUE(pA->SendTo(CBytes(1024, 7), pB->LocalEndpoint()));
    ASSERT_EQ(GetNet().WaitReadable(arrSockets, 5000, arrReady), ENetWait::Ready);
    EXPECT_EQ(pB->Receive(arrBuffer, nullptr), 1024);

    ASSERT_TRUE(pA->SendTo(CBytes(1025, 7), pB->LocalEndpoint()));
    ASSERT_EQ(GetNet().WaitReadable(arrSockets, 5000, arrReady), ENetWait::Ready);
    EXPECT_EQ(pB->Receive(arrBuffer, nullptr), -1);
}

// Devices on addresses of their own in 127/8, so that a reply's sender tells them apart.
const CTestDevice kLoopA{{2, 0, 0, 0, 0, 0xA}, "NAS-A", MakeIPv4(127, 0, 9, 1), "alice", "pw-a"};
const CTestDevice kLoopB{{2, 0, 0, 0, 0, 0xB}, "NAS-B", MakeIPv4(127, 0, 9, 2), "bob", "pw-b"};
constexpr std::uint32_t kImpostorAddr = MakeIPv4(127, 0, 9, 3);

// The device as replies from its socket show it: its address is the one its datagrams arrive
// from, which is its own where the socket layer keeps loopback addresses apart.
CTestDevice AsArriving(CTestDevice device) {
    const std::uint32_t nArriving = ArrivingLoopbackSender(GetNet(), device.nIp);
    if (nArriving != 0)
        device.nIp = nArriving;
    return device;
}

CResponderSetup At(std::uint32_t nAddr) {
    CResponderSetup setup;
    setup.nBindAddr = nAddr;
    return setup;
}

// The whole routine over real sockets; only the broadcast is redirected to loopback responders.
TEST_F(NetLoopback, SearchAndAccountCheckAgainstLoopbackDevices) {
    // Each device advertises the address its replies arrive from.
    CTestDevice a = AsArriving(kLoopA);
    CTestDevice b = AsArriving(kLoopB);
    CResponderSetup setup;
    setup.bOwnAddresses = true;
    CLoopbackResponder responder(GetNet(), {a, b}, setup);
    ASSERT_EQ(responder.Endpoints().size(), 2u);
    // Three local addresses on one network: every device answers in every pass.
    CRedirectNet net(GetNet(), {kLoopback, kLoopback, kLoopback}, responder.Endpoints());
    CSearchOptions options;
    options.nSilenceMs = 300;
    CDeviceList list;

    EXPECT_TRUE(fnSearchDevice(net, options, list, true, 0, "", ""));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(DeviceNameText(*list.GetAt(0)), "NAS-A");
    EXPECT_EQ(IPv4Text(list.GetAt(0)->ip), IPv4Text(a.nIp));
    EXPECT_EQ(DeviceNameText(*list.GetAt(1)), "NAS-B");
    EXPECT_EQ(IPv4Text(list.GetAt(1)->ip), IPv4Text(b.nIp));
    EXPECT_EQ(responder.RequestsSeen(), 3);

    EXPECT_TRUE(fnSearchDevice(net, options, list, false, 1, "bob", "pw-b"));
    EXPECT_FALSE(fnSearchDevice(net, options, list, false, 1, "bob", "pw-a"));
    EXPECT_FALSE(fnSearchDevice(net, options, list, false, 2, "bob", "pw-b"));
}

// A third host that says yes to every account check, naming the tested device's MAC, cannot make
// a wrong password pass: only the tested device's own address speaks for it.
TEST_F(NetLoopback, AccountCheckIgnoresAnImpostor) {
    const CTestDevice device = AsArriving(kLoopA);
    if (ArrivingLoopbackSender(GetNet(), kImpostorAddr) == device.nIp)
        GTEST_SKIP() << "this socket layer shows one sender for every loopback address";
    CLoopbackResponder a(GetNet(), {device}, At(kLoopA.nIp));
    CResponderSetup impostorSetup = At(kImpostorAddr);
    impostorSetup.bImpostor = true;
    CLoopbackResponder impostor(GetNet(), {}, impostorSetup);
    ASSERT_NE(a.Endpoint().nPort, 0);
    ASSERT_NE(impostor.Endpoint().nPort, 0);
    CRedirectNet net(GetNet(), {kLoopback}, {impostor.Endpoint(), a.Endpoint()});
    CSearchOptions options;
    options.nSilenceMs = 300;
    CDeviceList list;

    ASSERT_TRUE(fnSearchDevice(net, options, list, true, 0, "", ""));
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_FALSE(fnSearchDevice(net, options, list, false, 0, "alice", "wrong"));
    EXPECT_FALSE(fnSearchDevice(net, options, list, false, 0, "mallory", ""));
    EXPECT_TRUE(fnSearchDevice(net, options, list, false, 0, "alice", "pw-a"));
    EXPECT_GE(impostor.RequestsSeen(), 3);
}

// Runs a search with a bound: a search that outlives nBoundMs is ended by stopping the responder
// that keeps it busy, and reported.
struct CTimedSearch {
    bool bResult = false;
    bool bEndedInTime = false;
    std::chrono::milliseconds elapsed{};
};

CTimedSearch SearchWithin(CNet& net, const CSearchOptions& options, CDeviceList& list,
                          std::unique_ptr<CLoopbackResponder>& pResponder, int nBoundMs) {
    CTimedSearch result;
    const auto start = std::chrono::steady_clock::now();
    auto search = std::async(std::launch::async,
                             [&] { return fnSearchDevice(net, options, list, true, 0, "", ""); });
    result.bEndedInTime =
        search.wait_for(std::chrono::milliseconds(nBoundMs)) == std::future_status::ready;
    if (!result.bEndedInTime)
        pResponder.reset();
    result.bResult = search.get();
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return result;
}

// Datagrams that are no valid reply do not put off a pass's silence, however often they come.
TEST_F(NetLoopback, StrayDatagramsDoNotKeepASearchOpen) {
    const struct {
        const char* what;
        CBytes chatter;
    } cases[] = {
        {"one byte", CBytes{0x55}},
        {"a refusal", MakeSearchReply(kLoopB, 1)},
        {"a header without MAC", MakeStatusReply(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CResponderSetup setup = At(kLoopA.nIp);
        setup.chatter = c.chatter;
        setup.nChatterEveryMs = 50;
        auto pResponder =
            std::make_unique<CLoopbackResponder>(GetNet(), std::vector{kLoopA}, setup);
        ASSERT_NE(pResponder->Endpoint().nPort, 0);
        CRedirectNet net(GetNet(), {kLoopback}, pResponder->Endpoint());
        CSearchOptions options;
        options.nSilenceMs = 300;
        options.nPassLimitMs = 60000; // only the silence may end this search
        CDeviceList list;

        const CTimedSearch run = SearchWithin(net, options, list, pResponder, 5000);
        EXPECT_TRUE(run.bEndedInTime) << "still searching after " << run.elapsed.count() << " ms";
        EXPECT_TRUE(run.bResult);
        EXPECT_EQ(list.GetCount(), 1);
    }
}

// A device that never stops answering validly cannot keep a pass past its limit.
TEST_F(NetLoopback, EndlessValidRepliesEndAtThePassLimit) {
    CResponderSetup setup = At(kLoopA.nIp);
    setup.chatter = MakeSearchReply(kLoopB);
    setup.nChatterEveryMs = 50;
    auto pResponder = std::make_unique<CLoopbackResponder>(GetNet(), std::vector{kLoopA}, setup);
    ASSERT_NE(pResponder->Endpoint().nPort, 0);
    CRedirectNet net(GetNet(), {kLoopback, kLoopback}, pResponder->Endpoint());
    CSearchOptions options;
    options.nSilenceMs = 300;
    options.nPassLimitMs = 1000;
    CDeviceList list;

    const CTimedSearch run = SearchWithin(net, options, list, pResponder, 8000);
    EXPECT_TRUE(run.bEndedInTime) << "still searching after " << run.elapsed.count() << " ms";
    EXPECT_GE(run.elapsed.count(), 900);
    EXPECT_TRUE(run.bResult);
    EXPECT_EQ(list.GetCount(), 2);
}

} // namespace
