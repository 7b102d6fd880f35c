// Socket library on loopback, and the search and account check through it; portable tests.
#include "discovery/search.h"
#include "loopback.h"

#include <gtest/gtest.h>

#include <array>

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

// The whole routine over real sockets; only the target is redirected to a loopback responder.
TEST_F(NetLoopback, SearchAndAccountCheckAgainstLoopbackDevices) {
    const CTestDevice a{{2, 0, 0, 0, 0, 0xA}, "NAS-A", MakeIPv4(10, 9, 0, 1), "alice", "pw-a"};
    const CTestDevice b{{2, 0, 0, 0, 0, 0xB}, "NAS-B", MakeIPv4(10, 9, 0, 2), "bob", "pw-b"};
    CLoopbackResponder responder(GetNet(), {a, b});
    ASSERT_NE(responder.Endpoint().nPort, 0);
    // Three local addresses on one network: every device answers in every pass.
    CRedirectNet net(GetNet(), {kLoopback, kLoopback, kLoopback}, responder.Endpoint());
    CSearchOptions options;
    options.nSilenceMs = 300;
    CDeviceList list;

    EXPECT_TRUE(fnSearchDevice(net, options, list, true, 0, "", ""));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(DeviceNameText(*list.GetAt(0)), "NAS-A");
    EXPECT_EQ(IPv4Text(list.GetAt(0)->ip), "10.9.0.1");
    EXPECT_EQ(DeviceNameText(*list.GetAt(1)), "NAS-B");
    EXPECT_EQ(IPv4Text(list.GetAt(1)->ip), "10.9.0.2");
    EXPECT_EQ(responder.RequestsSeen(), 3);

    EXPECT_TRUE(fnSearchDevice(net, options, list, false, 1, "bob", "pw-b"));
    EXPECT_FALSE(fnSearchDevice(net, options, list, false, 1, "bob", "pw-a"));
    EXPECT_FALSE(fnSearchDevice(net, options, list, false, 2, "bob", "pw-b"));
}

} // namespace
