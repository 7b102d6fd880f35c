// marlowick-cli search, check, set and send across network namespaces, run from the computer
// side of scripts/netns-devices; Linux test client.
#include "app/settings.h"
#include "cli_process.h"
#include "platform/registry.h"
#include "registry_test_scope.h"
#include "tests/device/netns_devices.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace {

using mwtest::RunCli;

using CExpected = mwtest::CNetnsDevice;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

class CliAcrossNamespaces : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_arrExpected = mwtest::NetnsDevices(); }
    void SetUp() override {
        if (s_arrExpected.size() < 2)
            GTEST_SKIP() << "run by scripts/netns-devices, which names the devices";
        ::setenv("XDG_STATE_HOME", (m_scope.ConfigDir() + "/state").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    // check or set with the password on standard input; no password is ever printed.
    static mwtest::CCliResult WithPassword(std::vector<std::string> arrArgs,
                                           const std::string& strPassword) {
        arrArgs.push_back("--password-stdin");
        auto run = RunCli(arrArgs, strPassword + "\n");
        for (const auto& e : s_arrExpected)
            EXPECT_FALSE(Contains(run.strOut + run.strErr, e.strPassword));
        return run;
    }
    static mwtest::CCliResult Check(const std::string& strDevice, const CExpected& account,
                                    const std::string& strPassword) {
        return WithPassword({"check", "--device", strDevice, "--user", account.strUser},
                            strPassword);
    }

    static inline std::vector<CExpected> s_arrExpected;
    CTestRegistryScope m_scope;
};

TEST_F(CliAcrossNamespaces, SearchListsEveryDeviceWithItsAddressAndMac) {
    const auto run = RunCli({"search"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    for (const CExpected& e : s_arrExpected) {
        const std::regex line("(^|\n)" + e.strName + "\t" + e.strAddress +
                              "\t([0-9a-f]{2}:){5}[0-9a-f]{2}\n");
        EXPECT_TRUE(std::regex_search(run.strOut, line)) << run.strOut;
    }
}

TEST_F(CliAcrossNamespaces, CheckAcceptsOnlyTheDevicesOwnAccount) {
    const CExpected& first = s_arrExpected[0];
    const CExpected& second = s_arrExpected[1];
    auto run = Check(first.strName, first, first.strPassword);
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "accepted: " + first.strName + " (" + first.strAddress + ")"))
        << run.strOut;

    run = Check(second.strAddress, second, second.strPassword);
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;

    run = Check(first.strName, first, first.strPassword + "x");
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Contains(run.strOut, "refused: " + first.strName)) << run.strOut;

    run = Check(second.strName, first, first.strPassword);
    EXPECT_EQ(run.nExit, 1);

    run = Check("NAS-NOWHERE", first, first.strPassword);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Contains(run.strErr, "no device named or at NAS-NOWHERE")) << run.strErr;
}

TEST_F(CliAcrossNamespaces, SetChecksTheAccountStoresTheAddressFoundAndSendUsesIt) {
    const CExpected& first = s_arrExpected[0];
    const CExpected& second = s_arrExpected[1];
    auto run = WithPassword(
        {"set", "--device", second.strName, "--user", second.strUser, "--dest", "public\\bt"},
        second.strPassword);
    ASSERT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "(account checked)")) << run.strOut;

    // A refused account leaves the stored settings as they were.
    run = WithPassword(
        {"set", "--device", first.strName, "--user", first.strUser, "--dest", "public"},
        second.strPassword);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Contains(run.strErr, "nothing was stored")) << run.strErr;

    auto pRegistry = OpenUserRegistry();
    CSettingsStore store(*pRegistry);
    CMarlowickSettings s;
    ASSERT_TRUE(store.LoadSettings(s));
    EXPECT_EQ(s.m_strTargetDevice, second.strName);
    EXPECT_EQ(s.m_strIP, second.strAddress);
    EXPECT_EQ(s.m_strPassword, second.strPassword);
    EXPECT_EQ(s.m_strRootSharelist, "public\\bt");
    EXPECT_EQ(store.LoadSavedEntries(s), 1);

    // send without options: the job goes to the address the device answered the search from.
    const std::string file = m_scope.ConfigDir() + "/found.torrent";
    mwtest::WriteTorrent(file, mwtest::MakeTorrent("found.torrent", 4, 7));
    run = RunCli({"send", file});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_TRUE(std::filesystem::exists(second.strShareDir + "/bt/found.torrent"));
}

} // namespace
