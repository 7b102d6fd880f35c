// The main window's destination folder browser, and the rule that turns a chosen folder into the
// destination; portable.
#include "main_window_fixture.h"

namespace {

using mwtest::Device;
using mwtest::MainWindowTest;

TEST(DestinationFromFolder, AcceptsOnlyFoldersBelowTheTargetDevice) {
    struct Case {
        const char* root;
        const char* path;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"\\\\NAS", "\\\\NAS\\share\\movies", "share\\movies"},
        {"\\\\NAS", "\\\\nas\\Share", "Share"},       // case ignored, the path's own case kept
        {"\\\\NAS", "\\\\NAS2\\share", std::nullopt}, // another device
        {"\\\\NAS", "X:\\share", std::nullopt},       // a mapped drive
        {"\\\\NAS", "C:\\NAS\\share", std::nullopt},  // the local disk
        {"\\\\NAS", "\\\\NAS", std::nullopt},         // the device, no folder of it
        {"\\\\NAS", "\\\\NAS\\", std::nullopt},
        {"\\\\", "\\\\NAS\\share", std::nullopt}, // no target device
    };
    for (const auto& c : cases)
        EXPECT_EQ(DestinationFromFolder(c.root, c.path, GetTextOps()), c.expected) << c.path;
}

TEST_F(MainWindowTest, BrowsingAcceptsAFolderOfTheDeviceAndAsksAgainForAnyOther) {
    m_pJobs->m_arrFound = {Device("NAS", 10, 0, 0, 2, 1)};
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, "admin"));
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, "secret"));
        dlg.m_strSubFolder = "old";
        // A folder elsewhere first: the message, then the browser again.
        m_ui.AnswerFolderBrowser(std::optional<std::string>("\\\\NAS2\\share"));
        m_ui.AnswerFolderBrowser(std::optional<std::string>("\\\\nas\\Share\\Movies"));
        ASSERT_TRUE(m_ui.Click(IDC_BROWSE));
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Please select current device's folder."}));
        EXPECT_EQ(m_ui.MessageBoxes()[0].strCaption, "BT Download Setting");
        ASSERT_EQ(m_ui.FolderBrowsers().size(), 2u);
        for (const auto& browsing : m_ui.FolderBrowsers()) {
            EXPECT_EQ(browsing.strTitle, "Plseas select a folder from the list:");
            EXPECT_EQ(browsing.strStartPath, "\\\\NAS");
            EXPECT_EQ(browsing.account.strUser, "admin");
            EXPECT_EQ(browsing.account.strPassword, "secret");
        }
        EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "Share\\Movies");
        EXPECT_EQ(dlg.m_strRootSharelist, "Share\\Movies");
        EXPECT_EQ(dlg.m_strSubFolder, "");
        EXPECT_FALSE(dlg.m_bBrowsing);

        // Cancel keeps the destination; a second click while browsing does nothing.
        m_ui.AnswerFolderBrowser([&]() -> std::optional<std::string> {
            EXPECT_TRUE(dlg.m_bBrowsing);
            EXPECT_TRUE(m_ui.Click(IDC_BROWSE));
            return std::nullopt;
        });
        ASSERT_TRUE(m_ui.Click(IDC_BROWSE));
        EXPECT_EQ(m_ui.FolderBrowsers().size(), 3u);
        EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "Share\\Movies");
        EXPECT_FALSE(dlg.m_bBrowsing);
        Close(dlg);
    });
    dlg.DoModal();
}

TEST_F(MainWindowTest, WithoutATargetDeviceNoFolderIsAccepted) {
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        m_ui.AnswerFolderBrowser(std::optional<std::string>("\\\\NAS\\share"));
        m_ui.AnswerFolderBrowser(std::nullopt);
        EXPECT_EQ(dlg.BrowseDestination(), 2);
        EXPECT_EQ(m_ui.FolderBrowsers()[0].strStartPath, "\\\\");
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Please select current device's folder."}));
        EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "");
        Close(dlg);
    });
    dlg.DoModal();
}

} // namespace
