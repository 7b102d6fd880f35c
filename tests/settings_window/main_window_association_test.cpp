// The main window's association check box and the Set command; portable.
#include "main_window_fixture.h"

namespace {

using mwtest::Device;
using mwtest::MainWindowTest;

TEST_F(MainWindowTest, TheAssociationCountsAsActiveWhenItNamesArboletBesideTheProgram) {
    struct Case {
        const char* module;
        const char* command;
        bool bActive;
    };
    const bool bPathsIgnoreCase = GetTextOps().PathsIgnoreCase();
    const std::vector<Case> cases = {
        {"C:\\Apps\\M\\Marlowick.exe", "\"C:\\Apps\\M\\Arbolet.exe\" \"%1\"", true},
        {"C:\\Apps\\M\\Marlowick.exe", "C:\\Apps\\M\\Arbolet.exe", true},
        {"C:\\Apps\\M\\Marlowick.exe", "\"C:\\Other\\Arbolet.exe\" \"%1\"", false},
        {"C:\\Apps\\M\\Marlowick.exe", "", false},
        // Letter case counts only where the system's paths have it.
        {"C:\\Apps\\M\\Marlowick.exe", "\"c:\\apps\\m\\arbolet.exe\" \"%1\"", bPathsIgnoreCase},
        {"/usr/bin/marlowick", "/usr/bin/arbolet %U", true},
        {"/usr/bin/marlowick", "/usr/bin/Arbolet %U", bPathsIgnoreCase},
    };
    for (const auto& c : cases) {
        m_pShell->m_strModulePath = c.module;
        m_pAssociation->m_strCommand = c.command;
        CMarlowickDlg dlg(Services());
        m_ui.Then(dlg, [&] {
            EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_FILE_ASSOCIATION), c.bActive ? 1 : 0) << c.command;
            EXPECT_EQ(dlg.GetItemText(IDC_FILE_ASSOCIATION),
                      c.bActive ? "File Association :Enable" : "File Association :Disable");
            Close(dlg);
        });
        dlg.DoModal();
    }
}

TEST_F(MainWindowTest, TheCheckBoxChangesOnlyItsCaptionAndSetSendsTheWantedStateEveryTime) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.Click(IDC_FILE_ASSOCIATION));
        EXPECT_EQ(dlg.GetItemText(IDC_FILE_ASSOCIATION), "File Association :Enable");
        ASSERT_TRUE(m_ui.Click(IDC_FILE_ASSOCIATION));
        EXPECT_EQ(dlg.GetItemText(IDC_FILE_ASSOCIATION), "File Association :Disable");
        EXPECT_TRUE(m_pShell->m_arrStarted.empty());

        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, "admin"));
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, "secret"));
        dlg.SetItemText(IDC_DESTINATION, "Download\\bt");
        ASSERT_TRUE(m_ui.Click(IDOK));  // "/N", although it was never active
        ASSERT_TRUE(m_ui.PressEnter()); // Enter is Set as well, "/N" again
        ASSERT_TRUE(m_ui.Click(IDC_FILE_ASSOCIATION));
        ASSERT_TRUE(m_ui.Click(IDOK));
        EXPECT_TRUE(m_ui.IsRunning(dlg)); // Set leaves the window open
        Close(dlg);
    });
    dlg.DoModal();
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(m_pShell->m_arrStarted, (std::vector<P>{{"C:\\Apps\\M\\Pennick.exe", "/N"},
                                                      {"C:\\Apps\\M\\Pennick.exe", "/N"},
                                                      {"C:\\Apps\\M\\Pennick.exe", "/Y"}}));
    // Set stored the current settings and the device's entry.
    CMarlowickSettings stored;
    ASSERT_TRUE(Store().LoadSettings(stored));
    EXPECT_EQ(stored.m_strTargetDevice, "NAS-A");
    EXPECT_EQ(stored.m_strIP, "10.0.0.2");
    EXPECT_EQ(stored.m_strRootSharelist, "Download\\bt");
    EXPECT_EQ(Store().LoadSavedEntries(stored), 1);
}

TEST_F(MainWindowTest, SetDoesNothingInTheMonitorLayoutNorAfterARefusedCheck) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    CMarlowickDlg monitor(Services());
    monitor.SetMonitorMode(true);
    m_ui.Then(monitor, [&] {
        ASSERT_TRUE(m_ui.Click(IDOK));
        EXPECT_TRUE(m_ui.IsRunning(monitor));
        Close(monitor);
    });
    monitor.DoModal();
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, "admin"));
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, "wrong"));
        dlg.SetItemText(IDC_DESTINATION, "Download");
        ASSERT_TRUE(m_ui.Click(IDOK));
        Close(dlg);
    });
    dlg.DoModal();
    EXPECT_EQ(m_pJobs->Checks(), (std::vector<std::string>{"0 admin wrong"}));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Incorrect Username or Password"}));
    EXPECT_TRUE(m_pShell->m_arrStarted.empty());
    CMarlowickSettings stored;
    EXPECT_FALSE(Store().LoadSettings(stored));
}

// A registry that reads but refuses every write, as a full disk or a locked store would.
class CRefusingRegistry final : public CRegistry {
public:
    explicit CRefusingRegistry(std::shared_ptr<CRegistry> pInner) : m_pInner(std::move(pInner)) {}
    RegStatus OpenKey(const std::string& subKey, ERegAccess access,
                      std::unique_ptr<CRegistryKey>& key) override {
        return access == ERegAccess::All ? kRegErrAccessDenied
                                         : m_pInner->OpenKey(subKey, access, key);
    }
    RegStatus CreateKey(const std::string&, std::unique_ptr<CRegistryKey>&) override {
        return kRegErrAccessDenied;
    }
    RegStatus BeginTransaction(const std::string& subKey, ERegAccess access,
                               std::unique_ptr<CRegistryTransaction>& transaction) override {
        return access == ERegAccess::All ? kRegErrAccessDenied
                                         : m_pInner->BeginTransaction(subKey, access, transaction);
    }
    std::string LastErrorText() const override { return "settings.reg: Permission denied"; }

private:
    std::shared_ptr<CRegistry> m_pInner;
};

TEST_F(MainWindowTest, SetThatCannotStoreSaysWhyAndStartsNothing) {
    m_pJobs->m_arrFound = {Device("NAS-A", 10, 0, 0, 2, 1)};
    CAppServices services = Services();
    services.pRegistry = std::make_shared<CRefusingRegistry>(m_pRegistry);
    CMarlowickDlg dlg(services);
    m_ui.Then(dlg, [&] {
        ASSERT_TRUE(m_ui.Type(IDC_USERNAME, "admin"));
        ASSERT_TRUE(m_ui.Type(IDC_PASSWORD, "secret"));
        dlg.SetItemText(IDC_DESTINATION, "Download");
        ASSERT_TRUE(m_ui.Click(IDOK));
        // The Confirm Dialog box too tells when its switch could not be stored.
        ASSERT_TRUE(m_ui.Click(IDC_CONFIRM_DIALOG));
        Close(dlg);
    });
    dlg.DoModal();
    ASSERT_EQ(BoxTexts().size(), 2u);
    for (const auto& text : BoxTexts()) {
        EXPECT_NE(text.find("could not be stored"), std::string::npos) << text;
        EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    }
    EXPECT_TRUE(m_pShell->m_arrStarted.empty());
}

} // namespace
