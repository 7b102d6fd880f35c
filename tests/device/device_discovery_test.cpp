// The reference device's discovery responder over loopback unicast: search replies, account
// checks, faults and malformed datagrams; Linux tests.
#include "tests/device/device_fixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

using namespace mwtest;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A client socket on loopback that sends one datagram to the device and collects what comes back:
// the first datagram within nFirstMs, each further one within nQuietMs of the one before.
std::vector<Bytes> Exchange(std::uint16_t port, const Bytes& request, int nFirstMs = 2000,
                            int nQuietMs = 300) {
    std::vector<Bytes> replies;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    sa.sin_port = htons(port);
    sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    for (int i = 0; i < 16; ++i) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, replies.empty() ? nFirstMs : nQuietMs) <= 0) {
            break;
        }
        Bytes buf(1024, 0);
        ssize_t n = recv(fd, buf.data(), buf.size(), MSG_TRUNC);
        if (n < 0) {
            break;
        }
        EXPECT_LE(n, 1024) << "a reply the program could not receive";
        buf.resize(std::min<std::size_t>(static_cast<std::size_t>(n), 1024));
        replies.push_back(buf);
    }
    close(fd);
    return replies;
}

Bytes Search(std::uint16_t nSequence) {
    return {0x10,
            0,
            0,
            0,
            static_cast<std::uint8_t>(nSequence & 0xff),
            static_cast<std::uint8_t>(nSequence >> 8),
            0,
            0};
}

Bytes AccountCheck(const Bytes& mac, const std::string& user, const std::string& password) {
    Bytes d(49, 0);
    d[0] = 0x41;
    d[4] = 1;
    d[6] = 41;
    std::memcpy(&d[8], mac.data(), 6);
    std::memcpy(&d[14], user.data(), std::min<std::size_t>(user.size(), 20));
    std::memcpy(&d[34], password.data(), std::min<std::size_t>(password.size(), 15));
    return d;
}

int Status(const Bytes& reply) {
    return reply.size() < 4 ? -1 : reply[2] | reply[3] << 8;
}

// What the program reads from a search reply: MAC at 28, name at 34 (15 bytes, up to a zero),
// IPv4 address at 119; bytes a short datagram lacks read as zero.
struct CFound {
    Bytes mac;
    std::string strName;
    std::string strIp;
};

CFound Read(Bytes reply) {
    reply.resize(1024, 0);
    CFound found;
    found.mac.assign(reply.begin() + 28, reply.begin() + 34);
    const char* name = reinterpret_cast<const char*>(&reply[34]);
    found.strName.assign(name, strnlen(name, 15));
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reply[119], ip, sizeof ip);
    found.strIp = ip;
    return found;
}

const Bytes kMac = {0x02, 0, 0, 0, 0, 0x01};

TEST(DeviceDiscovery, SearchReplyLayout) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    auto replies = Exchange(device.UdpPort(), Search(0xbeef));
    ASSERT_EQ(replies.size(), 1u);
    const Bytes& reply = replies[0];
    ASSERT_GE(reply.size(), 123u);
    EXPECT_EQ(Status(reply), 0);
    EXPECT_EQ(reply[4] | reply[5] << 8, 0xbeef);
    auto found = Read(reply);
    EXPECT_EQ(found.mac, kMac);
    EXPECT_EQ(found.strName, "mw-test");
    EXPECT_EQ(found.strIp, "127.0.0.1"); // the address the request arrived on
    EXPECT_TRUE(device.WaitForLog("search seq 48879: answered as 1 device(s)")) << device.Log();
}

TEST(DeviceDiscovery, SearchFaultsAndAdvertisedAddress) {
    struct Case {
        const char* what;
        std::vector<std::string> flags;
        std::vector<std::pair<std::string, std::string>> devices; // name, ip in reply order
        int nStatus;
    } cases[] = {
        {"advertised address", {"--advertise", "192.0.2.7"}, {{"mw-test", "192.0.2.7"}}, 0},
        {"status fault", {"--fault-search-status", "1"}, {{"mw-test", "127.0.0.1"}}, 1},
        {"several devices",
         {"--fault-extra-device", "02:00:00:00:00:02=second", "--fault-extra-device",
          "0a:0b:0c:0d:0e:0f=third-of-15-byt"},
         {{"mw-test", "127.0.0.1"}, {"second", "127.0.0.1"}, {"third-of-15-byt", "127.0.0.1"}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CDeviceProcess device(c.flags);
        ASSERT_TRUE(device.Start()) << device.Error();
        auto replies = Exchange(device.UdpPort(), Search(1));
        ASSERT_EQ(replies.size(), c.devices.size());
        for (std::size_t i = 0; i < replies.size(); ++i) {
            auto found = Read(replies[i]);
            EXPECT_EQ(Status(replies[i]), c.nStatus);
            EXPECT_EQ(found.strName, c.devices[i].first);
            EXPECT_EQ(found.strIp, c.devices[i].second);
        }
        if (c.devices.size() == 3) {
            EXPECT_EQ(Read(replies[2]).mac, (Bytes{0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f}));
        }
    }
}

TEST(DeviceDiscovery, AccountCheck) {
    const std::string longUser = "a-user-name-longer-than-20";
    CDeviceProcess device(
        {"--account", longUser + ":pw", "--fault-extra-device", "02:00:00:00:00:02=second"});
    CDeviceProcess refusing({"--fault-refuse-accounts"});
    ASSERT_TRUE(device.Start()) << device.Error();
    ASSERT_TRUE(refusing.Start()) << refusing.Error();
    struct Case {
        const char* what;
        CDeviceProcess* pDevice;
        Bytes mac;
        std::string user, password;
        bool bAccepted;
    } cases[] = {
        {"valid", &device, kMac, "admin", "secret", true},
        {"wrong password", &device, kMac, "admin", "Secret", false},
        {"unknown user", &device, kMac, "nobody", "secret", false},
        {"empty password", &device, kMac, "admin", "", false},
        {"other device's MAC", &device, {0x02, 0, 0, 0, 0, 0x09}, "admin", "secret", false},
        {"the extra device's MAC", &device, {0x02, 0, 0, 0, 0, 0x02}, "admin", "secret", true},
        {"user cut to its field", &device, kMac, longUser, "pw", true},
        {"refusal fault", &refusing, kMac, "admin", "secret", false},
    };
    for (const auto& c : cases) {
        auto replies = Exchange(c.pDevice->UdpPort(), AccountCheck(c.mac, c.user, c.password));
        ASSERT_EQ(replies.size(), 1u) << c.what;
        if (c.bAccepted) {
            EXPECT_EQ(Status(replies[0]), 0) << c.what;
            // The tested identity's MAC where the client reads a device's MAC, so that no other
            // host's acceptance can pass for this one.
            EXPECT_EQ(Read(replies[0]).mac, c.mac) << c.what;
        } else {
            EXPECT_NE(Status(replies[0]), 0) << c.what;
        }
    }
}

// The account name of a check is logged, and a client chooses it.
TEST(DeviceDiscovery, AccountNamesReachTheLogAsOneLine) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    ASSERT_EQ(Exchange(device.UdpPort(), AccountCheck(kMac, "a\nforged\x1b[2J", "x")).size(), 1u);
    ASSERT_TRUE(device.WaitForLog("user \"a forged [2J\": refused")) << device.Log();
    EXPECT_EQ(device.Log().find('\x1b'), std::string::npos);
}

// The impostor fault, which the discovery tests use as a hostile third host.
TEST(DeviceDiscovery, ImpostorAcceptsEveryCheckAndAnswersNoSearch) {
    CDeviceProcess impostor({"--fault-impostor"});
    ASSERT_TRUE(impostor.Start()) << impostor.Error();
    EXPECT_TRUE(Exchange(impostor.UdpPort(), Search(1), 300).empty());
    const Bytes otherMac = {0x02, 0, 0, 0, 0, 0x77};
    auto replies = Exchange(impostor.UdpPort(), AccountCheck(otherMac, "anyone", "anything"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(Status(replies[0]), 0);
    EXPECT_EQ(Read(replies[0]).mac, otherMac);
}

TEST(DeviceDiscovery, MalformedDatagramsAreIgnored) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    Bytes shortCheck = AccountCheck(kMac, "admin", "secret");
    shortCheck.resize(40);
    Bytes shortButConsistent = shortCheck;
    shortButConsistent[6] = 32;
    Bytes lying = Search(1);
    lying[6] = 200; // announces more than follows
    const Bytes cases[] = {
        {},
        {0x10},
        {0x10, 0, 0, 0, 0, 0, 0},
        {0x99, 0, 0, 0, 0, 0, 0, 0},
        {0x10, 0, 1, 0, 0, 0, 0, 0},
        {0x10, 0x80, 0, 0, 0, 0, 0, 0},
        shortCheck,
        shortButConsistent,
        lying,
        Bytes(4000, 0x10),
    };
    for (const auto& datagram : cases) {
        EXPECT_TRUE(Exchange(device.UdpPort(), datagram, 150, 150).empty()) << datagram.size();
    }
    // Still alive and answering.
    EXPECT_EQ(Exchange(device.UdpPort(), Search(2)).size(), 1u);
    EXPECT_TRUE(device.Running());
    const std::string log = device.Log();
    EXPECT_NE(log.find("ignored: shorter than a header (0 bytes)"), std::string::npos) << log;
    EXPECT_NE(log.find("ignored: length field 41 exceeds the 40-byte datagram"), std::string::npos)
        << log;
    EXPECT_NE(log.find("ignored: account check of 40 bytes"), std::string::npos) << log;
    EXPECT_NE(log.find("ignored: oversized datagram"), std::string::npos) << log;
}

} // namespace
