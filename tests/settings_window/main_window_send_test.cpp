// The main window's settings check and send: CheckSettings, fnFileTransfer and Transfer;
// portable.
#include "main_window_fixture.h"

namespace {

using mwtest::Device;
using mwtest::MainWindowTest;

TEST_F(MainWindowTest, TheSettingsCheckRefusesIncompleteSettingsAndAWrongAccount) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    CMarlowickDlg dlg(Services());
    struct Case {
        const char* user;
        const char* password;
        const char* destination; // nullptr: leave the box empty
        bool bExpected;
        const char* message; // nullptr: none
    };
    const std::vector<Case> cases = {
        {"admin", "secret", nullptr, false, "Please press Browse and select Destination first!"},
        {"", "", "Download", false, "Please input UserName and Password first!"},
        {"admin", "wrong", "Download", false, "Incorrect Username or Password"},
        // A password alone is enough to ask the device.
        {"", "secret", "Download", false, "Incorrect Username or Password"},
        {"admin", "secret", "Download\\bt", true, nullptr},
    };
    m_ui.Then(dlg, [&] {
        for (const auto& c : cases) {
            const std::size_t nBoxes = m_ui.MessageBoxes().size();
            m_ui.Type(IDC_USERNAME, c.user);
            m_ui.Type(IDC_PASSWORD, c.password);
            dlg.SetItemText(IDC_DESTINATION, c.destination ? c.destination : "");
            EXPECT_EQ(dlg.CheckSettings(), c.bExpected) << c.user << "/" << c.password;
            if (c.message) {
                ASSERT_EQ(m_ui.MessageBoxes().size(), nBoxes + 1);
                EXPECT_EQ(m_ui.MessageBoxes().back().strText, c.message);
                EXPECT_EQ(m_ui.MessageBoxes().back().strCaption, "BT Download Setting");
            } else {
                EXPECT_EQ(m_ui.MessageBoxes().size(), nBoxes);
            }
        }
        // What the check took from the boxes, and the Confirm Dialog box's state.
        EXPECT_EQ(dlg.m_strUserName, "admin");
        EXPECT_EQ(dlg.m_strTargetDevice, "NAS-A");
        EXPECT_EQ(dlg.m_strRootSharelist, "Download\\bt");
        EXPECT_EQ(dlg.m_nConfirmDialog, 1);
        Close(dlg);
    });
    dlg.DoModal();
    // The account was checked against the selected device, and only when the boxes were filled.
    EXPECT_EQ(m_pJobs->Checks(),
              (std::vector<std::string>{"0 admin wrong", "0  secret", "0 admin secret"}));
}

TEST_F(MainWindowTest, ASendBuildsTheJobFromTheDestinationAndTellsTheOutcome) {
    struct Case {
        const char* root;
        const char* sub;
        const char* share;
        const char* subdir;
    };
    const std::vector<Case> table = {
        {"Download", "", "Download", ""},
        {"Download\\bt", "", "Download", "/bt"},
        {"Download\\bt\\new", "", "Download", "/bt/new"},
        {"Download/bt", "", "Download", "/bt"},
        {"Download", "bt", "Download", "/bt"},
        {"Download\\bt", "new", "Download", "/bt/new"},
        {"\\Download", "", "", "/Download"},
    };
    for (const auto& c : table) {
        CMarlowickDlg dlg(Services());
        dlg.m_strIP = "10.0.0.2";
        dlg.m_strUserName = "admin";
        dlg.m_strPassword = "secret";
        dlg.m_strRootSharelist = c.root;
        dlg.m_strSubFolder = c.sub;
        dlg.SetTorrentFile("C:\\t\\a.torrent");
        dlg.SetFileMode(true);
        EXPECT_TRUE(dlg.fnFileTransfer("C:\\t\\a.torrent")) << c.root;
        // The settings themselves are not changed by a build.
        EXPECT_EQ(dlg.m_strRootSharelist, c.root);
    }
    const auto sent = m_pJobs->Sent();
    ASSERT_EQ(sent.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(sent[i].strShareList, table[i].share) << table[i].root;
        EXPECT_EQ(sent[i].strHShareList, table[i].share) << table[i].root;
        EXPECT_EQ(sent[i].strSubDir, table[i].subdir) << table[i].root;
        EXPECT_EQ(sent[i].strUrl, "http://10.0.0.2/Down/download_job.cgi");
        EXPECT_EQ(sent[i].strFile, "C:\\t\\a.torrent");
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(table.size(), "File transfer finish."));
}

TEST_F(MainWindowTest, AFailedSendShowsTheDevicesWordsOrTheGeneralText) {
    m_pJobs->m_uploads = {{0, NAS_BTDOWNLOAD_ERR_GENERAL, "The share does not exist."},
                          {0, NAS_BTDOWNLOAD_ERR_GENERAL, ""},
                          {0, NAS_BTDOWNLOAD_ERR_HEADER_FAILED, ""}};
    for (int i = 0; i < 3; ++i) {
        CMarlowickDlg dlg(Services());
        dlg.m_strIP = "10.0.0.2";
        dlg.SetFileMode(true);
        EXPECT_FALSE(dlg.fnFileTransfer("a.torrent"));
    }
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"The share does not exist.", "File transfer error.",
                                        "File transfer error."}));
}

TEST_F(MainWindowTest, TransferChecksSendsAndClosesTheWindowOnlyAfterASuccessfulSend) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    m_pJobs->m_uploads = {{0, NAS_BTDOWNLOAD_ERR_GENERAL, "Busy."}, {1, 0, ""}};
    CMarlowickDlg dlg(Services());
    dlg.m_strIP = "10.0.0.2";
    dlg.m_strUserName = "admin";
    dlg.m_strPassword = "secret";
    dlg.m_strRootSharelist = "Download";
    dlg.m_nConfirmDialog = 1;
    dlg.SetTorrentFile("/t/a.torrent");
    dlg.SetFileMode(true);
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.Click(IDC_TRANSFER));
        EXPECT_TRUE(m_ui.IsRunning(dlg)); // refused: the window stays
        // The password was corrected in its box: Transfer takes it.
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, "secret"));
        ASSERT_TRUE(m_ui.Click(IDC_TRANSFER));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Busy.", "File transfer finish."}));
    EXPECT_EQ(m_pJobs->Checks(), (std::vector<std::string>{"0 admin secret", "0 admin secret"}));
    EXPECT_EQ(m_pJobs->Sent().size(), 2u);
}

TEST_F(MainWindowTest, EnterInTheFileLayoutNeitherStoresNorSwitchesTheAssociation) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    CMarlowickDlg dlg(Services());
    dlg.m_strIP = "10.0.0.2";
    dlg.m_strUserName = "admin";
    dlg.m_strPassword = "secret";
    dlg.m_strRootSharelist = "Download";
    dlg.SetFileMode(true);
    m_ui.Then(dlg, [&] {
        dlg.SetFocusItem(IDC_PASSWORD);
        EXPECT_TRUE(m_ui.PressEnter());
        EXPECT_TRUE(m_ui.IsRunning(dlg));
        Close(dlg);
    });
    dlg.DoModal();
    EXPECT_TRUE(m_pShell->m_arrStarted.empty());
    EXPECT_TRUE(m_pJobs->Checks().empty());
    CMarlowickSettings stored;
    EXPECT_FALSE(Store().LoadSettings(stored)); // nothing stored
}

} // namespace
