// The main window over the real search, account check and upload, across network namespaces, run
// from the computer side of scripts/netns-devices; Linux test client.
#include "app/marlowick_app.h"
#include "tests/device/netns_devices.h"
#include "tests/device/torrent_builder.h"
#include "tests/settings_window/main_window_fixture.h"

#include <filesystem>

namespace {

using mwtest::MainWindowTest;

class MainWindowAcrossNamespaces : public MainWindowTest {
protected:
    void SetUp() override {
        m_arrDevices = mwtest::NetnsDevices();
        if (m_arrDevices.size() < 2)
            GTEST_SKIP() << "run by scripts/netns-devices, which names the devices";
        ::setenv("XDG_STATE_HOME", (m_scope.ConfigDir() + "/state").c_str(), 1);
        m_pReal = CreateRealJobServices();
    }
    void TearDown() override {
        ::unsetenv("XDG_STATE_HOME");
        MainWindowTest::TearDown();
    }
    CAppServices RealServices() {
        CAppServices s = Services();
        s.pJobs = m_pReal;
        return s;
    }
    int LineOf(CDialog& dlg, const std::string& strName) {
        for (int i = 0; i < dlg.LbGetCount(IDC_DEVICE_LIST); ++i)
            if (dlg.LbGetText(IDC_DEVICE_LIST, i) == strName)
                return i;
        return -1;
    }

    std::vector<mwtest::CNetnsDevice> m_arrDevices;
    std::shared_ptr<CJobServices> m_pReal;
};

TEST_F(MainWindowAcrossNamespaces, RefreshListsBothDevicesAndAChoiceBringsItsSavedEntryBack) {
    const auto& two = m_arrDevices[1];
    StoreEntry(two.strName, two.strUser, two.strPassword, "public\\films");
    CMarlowickDlg dlg(RealServices());
    m_ui.Then(dlg, [&] {
        ASSERT_EQ(dlg.LbGetCount(IDC_DEVICE_LIST), 2);
        for (const auto& device : m_arrDevices) {
            const int nLine = LineOf(dlg, device.strName);
            ASSERT_GE(nLine, 0) << device.strName;
            EXPECT_EQ(dlg.m_strlistDeviceIP[static_cast<std::size_t>(nLine)], device.strAddress);
        }
        ASSERT_TRUE(m_ui.SelectLine(IDC_DEVICE_LIST, LineOf(dlg, two.strName)));
        EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), two.strName);
        EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), two.strUser);
        EXPECT_EQ(dlg.GetItemText(IDC_PASSWORD), two.strPassword);
        EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "public\\films");
        EXPECT_EQ(dlg.m_strIP, two.strAddress);
        Close(dlg);
    });
    dlg.DoModal();
}

TEST_F(MainWindowAcrossNamespaces, SetWithAWrongPasswordSaysSoAndStoresNothingTheRightOneStores) {
    const auto& one = m_arrDevices[0];
    CMarlowickDlg dlg(RealServices());
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.SelectLine(IDC_DEVICE_LIST, LineOf(dlg, one.strName)));
        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, one.strUser));
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, "not-" + one.strPassword));
        dlg.SetItemText(IDC_DESTINATION, "public");
        ASSERT_TRUE(m_ui.Click(IDOK));
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Incorrect Username or Password"}));
        CMarlowickSettings stored;
        EXPECT_FALSE(Store().LoadSettings(stored));
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, one.strPassword));
        ASSERT_TRUE(m_ui.Click(IDOK));
        EXPECT_EQ(BoxTexts().size(), 1u);
        ASSERT_TRUE(Store().LoadSettings(stored));
        EXPECT_EQ(stored.m_strIP, one.strAddress);
        EXPECT_EQ(stored.m_strTargetDevice, one.strName);
        EXPECT_EQ(stored.m_strPassword, one.strPassword);
        Close(dlg);
    });
    dlg.DoModal();
}

TEST_F(MainWindowAcrossNamespaces, ConfirmationOnSendsThroughTransferInTheFileLayout) {
    const auto& one = m_arrDevices[0];
    CMarlowickSettings s;
    s.m_strIP = one.strAddress;
    s.m_strUserName = one.strUser;
    s.m_strPassword = one.strPassword;
    s.m_strRootSharelist = "public";
    s.m_strTargetDevice = one.strName;
    s.m_nConfirmDialog = 1;
    StoreSettings(s);
    const std::string strFile = m_scope.ConfigDir() + "/netns-window.torrent";
    mwtest::WriteTorrent(strFile, mwtest::MakeTorrent("netns-window.iso"));
    m_ui.ThenIn<CMarlowickDlg>([&](CMarlowickDlg& dlg) {
        EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), one.strName);
        EXPECT_TRUE(m_ui.Click(IDC_TRANSFER));
    });
    const std::string strGuard = "{Marlowick-netns-test}";
    CLimitSingleInstance guard(strGuard.c_str());
    CMarlowickApp app(RealServices(), guard);
    EXPECT_FALSE(app.InitInstance(strFile));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"File transfer finish."}));
    EXPECT_TRUE(std::filesystem::exists(one.strShareDir + "/netns-window.torrent"));
}

} // namespace
