// The main window's device list: Refresh, the target device, saved entries, network paths and the
// page; portable.
#include "main_window_fixture.h"

namespace {

using mwtest::Device;
using mwtest::MainWindowTest;

TEST_F(MainWindowTest, RefreshListsTheDevicesAndMakesTheFirstTheTarget) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1), Device("NAS-B", 10, 0, 1, 2, 2)};
    for (const bool bSaved : {false, true}) {
        if (bSaved)
            StoreEntry("nas-a", "admin", "secret", "Download\\bt");
        CMarlowickDlg dlg(Services());
        m_ui.Then(dlg, [&] {
            EXPECT_EQ(dlg.LbGetCount(IDC_DEVICE_LIST), 2);
            EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 0), "NAS-A");
            EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 1), "NAS-B");
            EXPECT_EQ(dlg.m_strlistDeviceIP, (std::vector<std::string>{"10.0.0.2", "10.0.1.2"}));
            EXPECT_EQ(dlg.LbGetCurSel(IDC_DEVICE_LIST), 0);
            EXPECT_EQ(dlg.GetFocusItem(), IDC_DEVICE_LIST);
            EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), "NAS-A");
            EXPECT_EQ(dlg.m_strTargetName, "NAS-A");
            EXPECT_EQ(dlg.m_strIP, "10.0.0.2");
            // The saved entry comes back (names compare without regard to case).
            EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), bSaved ? "admin" : "");
            EXPECT_EQ(dlg.GetItemText(IDC_PASSWORD), bSaved ? "secret" : "");
            EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), bSaved ? "Download\\bt" : "");
            EXPECT_EQ(dlg.m_nSavedIndex, bSaved ? 0 : -1);
            EXPECT_EQ(dlg.m_strUserName, bSaved ? "admin" : "");
            Close(dlg);
        });
        dlg.DoModal();
        ASSERT_FALSE(m_pShell->m_arrOpened.empty());
        EXPECT_EQ(m_pShell->m_arrOpened.back(), "\\\\NAS-A");
    }
}

TEST_F(MainWindowTest, ChoosingADeviceMakesItTheTargetWithItsOwnSavedEntryOrNone) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1), Device("NAS-B", 10, 0, 1, 2, 2),
                           Device("NAS-C", 10, 0, 2, 2, 3)};
    StoreEntry("NAS-B", "bob", "pw-b", "Films");
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        // The first device has no entry: the boxes keep what they showed.
        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, "typed"));
        ASSERT_TRUE(m_ui.SelectLine(IDC_DEVICE_LIST, 1));
        EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), "NAS-B");
        EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "bob");
        EXPECT_EQ(dlg.GetItemText(IDC_PASSWORD), "pw-b");
        EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "Films");
        EXPECT_EQ(dlg.m_nSavedIndex, 0);
        EXPECT_EQ(dlg.m_strIP, "10.0.1.2");
        EXPECT_EQ(m_pShell->m_arrOpened.back(), "\\\\NAS-B");
        EXPECT_EQ(m_pShell->m_arrOpenedWith.back().strUser, "bob");
        // The page follows the choice even while it is hidden.
        EXPECT_EQ(m_ui.NavigatedUrl(dlg, IDC_WEB_BROWSER), "http://10.0.1.2/Down/download_ui.cgi");
        // A device without an entry after one that had: empty boxes, no entry, so a later Set
        // stores a new entry instead of overwriting NAS-B's.
        ASSERT_TRUE(m_ui.SelectLine(IDC_DEVICE_LIST, 2));
        for (int nId : {IDC_USERNAME, IDC_PASSWORD, IDC_DESTINATION})
            EXPECT_EQ(dlg.GetItemText(nId), "") << nId;
        EXPECT_EQ(dlg.m_nSavedIndex, -1);
        EXPECT_EQ(dlg.m_strUserName, "");
        EXPECT_EQ(dlg.m_strIP, "10.0.2.2");
        Close(dlg);
    });
    dlg.DoModal();
}

TEST_F(MainWindowTest, ADeviceOfTheSameNameAtAnotherAddressBecomesTheTarget) {
    m_pJobs->m_arrFound = {Device("NAS", 10, 0, 0, 2, 1), Device("nas", 10, 0, 1, 2, 2)};
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        const std::size_t nOpened = m_pShell->m_arrOpened.size();
        // The same device again changes nothing.
        ASSERT_TRUE(m_ui.SelectLine(IDC_DEVICE_LIST, 0));
        EXPECT_EQ(m_pShell->m_arrOpened.size(), nOpened);
        EXPECT_EQ(m_ui.NavigatedUrl(dlg, IDC_WEB_BROWSER), "");
        // Its namesake elsewhere is another device: address, page and network path follow.
        ASSERT_TRUE(m_ui.SelectLine(IDC_DEVICE_LIST, 1));
        EXPECT_EQ(dlg.m_strIP, "10.0.1.2");
        EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), "nas");
        EXPECT_EQ(m_ui.NavigatedUrl(dlg, IDC_WEB_BROWSER), "http://10.0.1.2/Down/download_ui.cgi");
        EXPECT_EQ(m_pShell->m_arrOpened.size(), nOpened + 1);
        Close(dlg);
    });
    dlg.DoModal();
}

TEST_F(MainWindowTest, TheFileLayoutFindsTheStoredDeviceByItsAddressOrEmptiesTheSettings) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1), Device("NAS-B", 10, 0, 1, 2, 2)};
    for (const char* pszAddress : {"10.0.1.2", "10.9.9.9"}) {
        const bool bKnown = std::string(pszAddress) == "10.0.1.2";
        CMarlowickDlg dlg(Services());
        dlg.m_strIP = pszAddress;
        dlg.m_strUserName = "admin";
        dlg.m_strPassword = "secret";
        dlg.m_strRootSharelist = "Download";
        dlg.m_strSubFolder = "bt";
        dlg.SetFileMode(true);
        // Before the search has found it, the address stands in the Target Device box.
        m_ui.Then(dlg, [&] {
            EXPECT_EQ(dlg.LbGetCount(IDC_DEVICE_LIST), 2);
            if (bKnown) {
                EXPECT_EQ(dlg.LbGetCurSel(IDC_DEVICE_LIST), 1);
                EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), "NAS-B");
                EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "Download\\bt");
                EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "admin");
                EXPECT_EQ(dlg.m_strIP, "10.0.1.2");
                EXPECT_EQ(m_pShell->m_arrOpened.back(), "\\\\NAS-B");
            } else {
                for (int nId : {IDC_TARGET_DEVICE, IDC_DESTINATION, IDC_USERNAME, IDC_PASSWORD})
                    EXPECT_EQ(dlg.GetItemText(nId), "") << nId;
                EXPECT_EQ(dlg.m_strIP, "");
                EXPECT_EQ(dlg.m_strUserName, "");
                EXPECT_EQ(dlg.m_strPassword, "");
                EXPECT_EQ(dlg.m_strRootSharelist, "");
            }
            Close(dlg);
        });
        dlg.DoModal();
    }
}

TEST_F(MainWindowTest, TheMonitorLayoutOpensNoNetworkPathAndARefreshWithNothingFoundKeepsTheBoxes) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    CMarlowickDlg monitor(Services());
    monitor.SetMonitorMode(true);
    m_ui.Then(monitor, [&] {
        EXPECT_EQ(monitor.LbGetCurSel(IDC_DEVICE_LIST), 0);
        ASSERT_TRUE(m_ui.Click(IDC_REFRESH));
        EXPECT_TRUE(m_pShell->m_arrOpened.empty());
        Close(monitor);
    });
    monitor.DoModal();
}

TEST_F(MainWindowTest, ARefreshThatFindsNothingKeepsTheBoxes) {
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, "admin"));
        ASSERT_TRUE(m_ui.Click(IDC_REFRESH));
        EXPECT_EQ(m_pJobs->Searches(), 2);
        EXPECT_EQ(dlg.LbGetCount(IDC_DEVICE_LIST), 0);
        EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "admin");
        EXPECT_TRUE(m_pShell->m_arrOpened.empty());
        Close(dlg);
    });
    dlg.DoModal();
}

} // namespace
