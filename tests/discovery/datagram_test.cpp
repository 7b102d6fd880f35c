// Discovery datagram codec: request bytes and reply decoding; portable tests.
#include "discovery/datagram.h"
#include "platform/net.h"
#include "test_devices.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::uint8_t kMac[6] = {0x00, 0x11, 0x32, 0xaa, 0xbb, 0xcc};

TEST(DiscoveryDatagram, SearchRequestIsTheBareHeader) {
    const auto req = EncodeSearchRequest(0xBEEF);
    const CBytes expected = {0x10, 0x00, 0x00, 0x00, 0xEF, 0xBE, 0x00, 0x00};
    EXPECT_EQ(CBytes(req.begin(), req.end()), expected);
}

TEST(DiscoveryDatagram, AccountCheckLayout) {
    const auto req = EncodeAccountCheck(0x0102, kMac, "admin", "secret");
    const auto& b = req.arrBytes;
    EXPECT_EQ(CBytes(b.begin(), b.begin() + 8), (CBytes{0x41, 0, 0, 0, 0x02, 0x01, 41, 0}));
    EXPECT_EQ(CBytes(b.begin() + 8, b.begin() + 14), CBytes(kMac, kMac + 6));
    CBytes name(20, 0), password(15, 0);
    std::copy_n("admin", 5, name.begin());
    std::copy_n("secret", 6, password.begin());
    EXPECT_EQ(CBytes(b.begin() + 14, b.begin() + 34), name);
    EXPECT_EQ(CBytes(b.begin() + 34, b.end()), password);
    EXPECT_FALSE(req.bNameCut);
    EXPECT_FALSE(req.bPasswordCut);
}

// Names that fill their field go without terminator; longer ones are cut to the field.
TEST(DiscoveryDatagram, AccountFieldsAtAndBeyondTheirWidth) {
    struct Case {
        std::string strUser, strPassword;
        bool bNameCut, bPasswordCut;
    };
    const Case cases[] = {
        {std::string(20, 'u'), std::string(15, 'p'), false, false},
        {std::string(21, 'u'), std::string(15, 'p'), true, false},
        {std::string(20, 'u'), std::string(40, 'p'), false, true},
        {"", std::string(16, 'p'), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strUser.size());
        SCOPED_TRACE(c.strPassword.size());
        const auto req = EncodeAccountCheck(0, kMac, c.strUser, c.strPassword);
        const std::string sent(req.arrBytes.begin(), req.arrBytes.end());
        const std::string name = c.strUser.substr(0, 20);
        EXPECT_EQ(sent.substr(14, 20), name + std::string(20 - name.size(), '\0'));
        EXPECT_EQ(sent.substr(34, 15), c.strPassword.substr(0, 15));
        EXPECT_EQ(req.bNameCut, c.bNameCut);
        EXPECT_EQ(req.bPasswordCut, c.bPasswordCut);
    }
}

TEST(DiscoveryDatagram, FullReplyDecodes) {
    CTestDevice device{{2, 0, 0, 0, 0, 7}, "NAS-Seven", MakeIPv4(192, 168, 1, 7), "", ""};
    const CBytes bytes = MakeSearchReply(device, 0);
    const auto reply = DecodeReply(bytes);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nStatus, 0);
    EXPECT_TRUE(SameMac(reply->device, device));
    EXPECT_EQ(DeviceNameText(reply->device), "NAS-Seven");
    EXPECT_EQ(IPv4Text(reply->device.ip), "192.168.1.7");

    EXPECT_EQ(DecodeReply(MakeSearchReply(device, 1))->nStatus, 1);
    EXPECT_EQ(DecodeReply(MakeStatusReply(0x0203))->nStatus, 0x0203);
}

// A short reply is read as far as it goes: the rest reads as zero, nothing beyond it is touched.
TEST(DiscoveryDatagram, ShortRepliesReadOnlyWhatArrived) {
    CTestDevice device{{1, 2, 3, 4, 5, 6}, "ABCDEFGHIJKLMNO", MakeIPv4(10, 1, 2, 3), "", ""};
    const CBytes full = MakeSearchReply(device);
    // Copies on the heap of exactly the arrived size, so that a read past the end shows up under
    // the address sanitizer.
    const auto decode = [&](std::size_t n) {
        const CBytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        return DecodeReply(part);
    };

    const auto forty = decode(40);
    ASSERT_TRUE(forty);
    EXPECT_TRUE(SameMac(forty->device, device));
    EXPECT_EQ(DeviceNameText(forty->device), "ABCDEF");
    EXPECT_EQ(forty->device.ip, 0u);

    const auto allName = decode(49);
    EXPECT_EQ(DeviceNameText(allName->device), "ABCDEFGHIJKLMNO"); // 15 bytes, no NUL among them
    EXPECT_EQ(decode(121)->device.ip, MakeIPv4(10, 1, 0, 0));
    EXPECT_EQ(decode(123)->device.ip, MakeIPv4(10, 1, 2, 3));

    EXPECT_TRUE(decode(8));
    EXPECT_FALSE(decode(7)); // no whole header: no reply at all
    EXPECT_FALSE(decode(0));
}

} // namespace
