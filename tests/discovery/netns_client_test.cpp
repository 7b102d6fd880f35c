// Search and account check from the computer side of scripts/netns-discovery; Linux test client.
#include "discovery/search.h"
#include "platform/net.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

// The harness names the devices it started, as "name@address,..." in MW_NETNS_DEVICES, and their
// accounts, as "user:password,..." in MW_NETNS_ACCOUNTS, in the same order.
namespace {

std::vector<std::string> Split(const char* pszText, char cSep) {
    std::vector<std::string> arr;
    std::stringstream stream(pszText ? pszText : "");
    for (std::string item; std::getline(stream, item, cSep);)
        arr.push_back(item);
    return arr;
}

struct CExpected {
    std::string strName, strAddress, strUser, strPassword;
};

class DiscoveryAcrossNamespaces : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const auto arrDevices = Split(std::getenv("MW_NETNS_DEVICES"), ',');
        const auto arrAccounts = Split(std::getenv("MW_NETNS_ACCOUNTS"), ',');
        for (std::size_t i = 0; i < arrDevices.size() && i < arrAccounts.size(); ++i) {
            const auto nameAddr = Split(arrDevices[i].c_str(), '@');
            const auto account = Split(arrAccounts[i].c_str(), ':');
            if (nameAddr.size() == 2 && account.size() == 2)
                s_arrExpected.push_back({nameAddr[0], nameAddr[1], account[0], account[1]});
        }
        s_bStarted = fnStartSockets();
        if (s_bStarted)
            s_bSearched = fnSearchDevice(g_DeviceList, true, 0, "", "");
    }
    static void TearDownTestSuite() {
        if (s_bStarted)
            fnStopSockets();
    }
    void SetUp() override {
        if (s_arrExpected.size() < 2)
            GTEST_SKIP() << "run by scripts/netns-discovery, which names the devices";
        ASSERT_TRUE(s_bStarted);
    }

    // Position of the named device in g_DeviceList, or -1.
    static int PositionOf(const std::string& strName) {
        for (int i = 0; i < g_DeviceList.GetCount(); ++i)
            if (DeviceNameText(*g_DeviceList.GetAt(i)) == strName)
                return i;
        return -1;
    }
    static bool Check(int nIndex, const std::string& strUser, const std::string& strPassword) {
        return fnSearchDevice(g_DeviceList, false, nIndex, strUser, strPassword);
    }

    static inline std::vector<CExpected> s_arrExpected;
    static inline bool s_bStarted = false;
    static inline bool s_bSearched = false;
};

TEST_F(DiscoveryAcrossNamespaces, SearchFindsEveryDeviceOnceWithItsAddress) {
    const char* pszMin = std::getenv("MW_NETNS_MIN_ADDRESSES");
    EXPECT_GE(GetNet().LocalAddresses().size(), std::size_t(pszMin ? std::atoi(pszMin) : 1));

    EXPECT_TRUE(s_bSearched);
    std::map<std::string, std::string> found, expected;
    for (int i = 0; i < g_DeviceList.GetCount(); ++i)
        found[DeviceNameText(*g_DeviceList.GetAt(i))] = IPv4Text(g_DeviceList.GetAt(i)->ip);
    for (const CExpected& e : s_arrExpected)
        expected[e.strName] = e.strAddress;
    EXPECT_EQ(found, expected);
    EXPECT_EQ(g_DeviceList.GetCount(), static_cast<int>(s_arrExpected.size()));

    // Every device answers again in every pass: a second search keeps the list as it is.
    std::vector<NAS_DEVICE_INFO*> arrBefore;
    for (int i = 0; i < g_DeviceList.GetCount(); ++i)
        arrBefore.push_back(g_DeviceList.GetAt(i));
    EXPECT_TRUE(fnSearchDevice(g_DeviceList, true, 0, "", ""));
    ASSERT_EQ(g_DeviceList.GetCount(), static_cast<int>(arrBefore.size()));
    for (int i = 0; i < g_DeviceList.GetCount(); ++i)
        EXPECT_EQ(g_DeviceList.GetAt(i), arrBefore[std::size_t(i)]);
}

TEST_F(DiscoveryAcrossNamespaces, AccountCheckAcceptsOnlyTheDevicesOwnAccount) {
    const CExpected& first = s_arrExpected[0];
    const CExpected& second = s_arrExpected[1];
    const int nFirst = PositionOf(first.strName);
    const int nSecond = PositionOf(second.strName);
    ASSERT_GE(nFirst, 0);
    ASSERT_GE(nSecond, 0);

    EXPECT_TRUE(Check(nFirst, first.strUser, first.strPassword));
    EXPECT_TRUE(Check(nSecond, second.strUser, second.strPassword));
    EXPECT_FALSE(Check(nFirst, first.strUser, first.strPassword + "x"));
    EXPECT_FALSE(Check(nSecond, first.strUser, first.strPassword));
    EXPECT_FALSE(Check(g_DeviceList.GetCount(), first.strUser, first.strPassword));
}

} // namespace
