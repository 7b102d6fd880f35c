// The reference device under hostile clients: trickled headers, too many connections from one
// address, large bodies without credentials; Linux tests.
#include "tests/device/device_fixture.h"
#include "tests/device/device_http.h"
#include "tests/device/slow_clients.h"

#include <gtest/gtest.h>

using namespace mwtest;

namespace {

// Two hundred connections that trickle a header, one address each, hold no worker: other clients
// are answered meanwhile, and every trickler is cut off at the header deadline.
TEST(DeviceLimits, TrickledHeadersDoNotStarveOtherClients) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    CSlowClients slow(device.HttpPort(), 200, 200);
    ASSERT_EQ(slow.Opened(), 200u);
    slow.Trickle(1000); // everyone is well inside its header by now

    for (int i = 0; i < 5; ++i) {
        const auto answer = RawRequest(device.HttpPort(),
                                       "GET /Down/download_ui.cgi HTTP/1.1\r\nHost: x\r\n"
                                       "Connection: close\r\n\r\n",
                                       3000);
        EXPECT_EQ(answer.nStatus, 200) << "request " << i << " while 200 headers trickle";
    }
    // The header deadline is 10 s from the connection; tricklers go on until they are cut off.
    slow.Trickle(12000);
    EXPECT_EQ(slow.Closed(), 200u) << "trickled headers still open after 13 s";
    EXPECT_TRUE(device.WaitForLog("closed: no whole request header within 10000 ms"));
}

// One address holds a bounded number of connections; the others are refused at once.
TEST(DeviceLimits, OneAddressHoldsABoundedNumberOfConnections) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    CSlowClients slow(device.HttpPort(), 40, 1);
    ASSERT_EQ(slow.Opened(), 40u);
    slow.Trickle(500);
    EXPECT_EQ(slow.Closed(), 8u) << "32 connections from one address are held, the rest refused";
    EXPECT_EQ(
        RawRequest(device.HttpPort(),
                   "GET /Down/download_ui.cgi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                   3000)
            .nStatus,
        200);
}

// Without valid credentials the body is never read: the refusal comes as soon as the header is
// complete, the connection is not kept for another request, and a client that asks before it
// sends (Expect: 100-continue) is refused instead of invited.
TEST(DeviceLimits, BodiesWithoutCredentialsAreNotRead) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string head = "POST /Down/download_job.cgi HTTP/1.1\r\nHost: x\r\n"
                             "Authorization: Basic YWRtaW46d3Jvbmc=\r\n"
                             "Content-Type: multipart/form-data; boundary=b\r\n"
                             "Content-Length: 31000000\r\n";
    // Only the header and a first piece of the body are sent: an answer means the device did
    // not wait for the rest.
    const auto refused =
        RawRequest(device.HttpPort(), head + "\r\n" + std::string(1000, 'x'), 3000);
    EXPECT_EQ(refused.nStatus, 401);
    EXPECT_TRUE(refused.HasHeader("Connection: close")) << refused.strHeaders;

    const auto notInvited =
        RawRequest(device.HttpPort(), head + "Expect: 100-continue\r\n\r\n", 3000);
    EXPECT_EQ(notInvited.nStatus, 401) << notInvited.strHeaders;

    // Any other page with a body is answered without reading it either.
    const auto elsewhere = RawRequest(device.HttpPort(),
                                      "POST /elsewhere HTTP/1.1\r\nHost: x\r\n"
                                      "Content-Length: 31000000\r\n\r\n",
                                      3000);
    EXPECT_EQ(elsewhere.nStatus, 404);
}

} // namespace
