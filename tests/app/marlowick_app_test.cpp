// Start-up: what each command line opens, confirmation on and off, and a second process; portable.
#include "app/marlowick_app.h"
#include "transfer_queue/transfer_dlg.h"
#include "tests/settings_window/main_window_fixture.h"

#include <chrono>

namespace {

using mwtest::MainWindowTest;

// A guard name of this run's own, so that no other test or running program meets it.
std::string GuardName() {
    return "{Marlowick-test-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "}";
}

class StartUpTest : public MainWindowTest {
protected:
    std::string m_strGuard = GuardName();
    CLimitSingleInstance m_guard{m_strGuard.c_str()};

    bool Start(const std::string& strCommandLine) {
        CMarlowickApp app(Services(), m_guard);
        return app.InitInstance(strCommandLine);
    }
    void StoreCurrent(bool bConfirm) {
        CMarlowickSettings s;
        s.m_strIP = "10.0.0.2";
        s.m_strUserName = "admin";
        s.m_strPassword = "secret";
        s.m_strRootSharelist = "Download\\bt";
        s.m_strTargetDevice = "NAS-A";
        s.m_nConfirmDialog = bConfirm ? 1 : 0;
        StoreSettings(s);
    }
};

TEST_F(StartUpTest, EachCommandLineOpensItsLayoutAndStartUpAlwaysEndsWithFalse) {
    struct Case {
        const char* line;
        const char* caption;
        bool bFile, bMonitor;
        const char* file;
    };
    StoreCurrent(true);
    const std::vector<Case> cases = {
        {"", "BT Download Setting", false, false, ""},
        {"/M", "BT Download Status Monitor", false, true, ""},
        {"/m", "BT Download Status Monitor", false, true, ""},
        {"/M ", "BT Download Setting", true, false, "/M "}, // three characters: a path
        {"\"C:\\t\\a b.torrent\"", "BT Download Setting", true, false, "C:\\\\t\\\\a b.torrent"},
        {"C:\\t\\a.torrent", "BT Download Setting", true, false, "C:\\t\\a.torrent"},
    };
    for (const auto& c : cases) {
        bool bOpened = false;
        m_ui.ThenIn<CMarlowickDlg>([&](CMarlowickDlg& dlg) {
            bOpened = true;
            EXPECT_EQ(dlg.GetCaption(), c.caption) << c.line;
            EXPECT_EQ(dlg.m_bFileMode, c.bFile) << c.line;
            EXPECT_EQ(dlg.m_bMonitorMode, c.bMonitor) << c.line;
            EXPECT_EQ(dlg.m_strTorrentFile, c.file) << c.line;
            if (c.bFile) {
                // The stored settings fill the confirmation layout.
                EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "admin");
                EXPECT_EQ(dlg.GetItemText(IDC_DESTINATION), "Download\\bt");
                EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), "10.0.0.2");
            }
            dlg.EndDialog(IDCANCEL);
        });
        EXPECT_FALSE(Start(c.line)) << c.line;
        EXPECT_TRUE(bOpened) << c.line;
    }
    EXPECT_TRUE(m_ui.MessageBoxes().empty());
    EXPECT_TRUE(m_pJobs->Sent().empty());
}

TEST_F(StartUpTest, WithConfirmationOffAPathIsSentWithoutTheMainWindow) {
    StoreCurrent(false);
    EXPECT_FALSE(Start("/t/a.torrent"));
    const auto sent = m_pJobs->Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].strUrl, "http://10.0.0.2/Down/download_job.cgi");
    EXPECT_EQ(sent[0].strFile, "/t/a.torrent");
    EXPECT_EQ(sent[0].strShareList, "Download");
    EXPECT_EQ(sent[0].strSubDir, "/bt");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"File transfer finish."}));
    // Only the busy dialog and the message: no search ran, so no main window opened.
    EXPECT_EQ(m_pJobs->Searches(), 0);
    EXPECT_TRUE(m_pJobs->Checks().empty());
}

TEST_F(StartUpTest, WithConfirmationOnTheFileLayoutSendsOnTransfer) {
    StoreCurrent(true);
    m_pJobs->m_arrFound = {mwtest::Device("NAS-A", 10, 0, 0, 2, 1)};
    m_ui.ThenIn<CMarlowickDlg>([&](CMarlowickDlg& dlg) {
        EXPECT_EQ(dlg.GetItemText(IDC_TARGET_DEVICE), "NAS-A"); // found by its address
        EXPECT_TRUE(m_ui.Click(IDC_TRANSFER));
    });
    EXPECT_FALSE(Start("/t/a.torrent"));
    EXPECT_EQ(m_pJobs->Checks(), (std::vector<std::string>{"0 admin secret"}));
    ASSERT_EQ(m_pJobs->Sent().size(), 1u);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"File transfer finish."}));
}

TEST_F(StartUpTest, QueueModeOpensTheQueueWithThePathDirectlyOrAfterTheQueueLayout) {
    for (const bool bConfirm : {false, true}) {
        StoreCurrent(bConfirm);
        m_pJobs->m_arrFound = {mwtest::Device("NAS-A", 10, 0, 0, 2, 1)};
        bool bLayout = false;
        if (bConfirm)
            m_ui.ThenIn<CMarlowickDlg>([&](CMarlowickDlg& dlg) {
                bLayout = true;
                EXPECT_TRUE(dlg.m_bQueueMode);
                EXPECT_FALSE(dlg.m_bFileMode);
                EXPECT_TRUE(dlg.IsItemVisible(IDC_TRANSFER));
                EXPECT_FALSE(dlg.IsItemVisible(IDOK));
                EXPECT_TRUE(m_ui.Click(IDC_TRANSFER));
            });
        m_ui.ThenIn<CTransferDlg>([&](CTransferDlg& queue) {
            EXPECT_EQ(queue.m_strDeviceIP, "10.0.0.2");
            // The job's share and sub-folder, joined by the queue's first Transfer.
            EXPECT_EQ(queue.m_strShareList, "Download/bt");
            EXPECT_EQ(queue.m_strSubDir, "");
            EXPECT_EQ(queue.m_arrayTransferFile, (std::vector<std::string>{"/t/a b.torrent"}));
            queue.EndDialog(IDOK);
        });
        if (bConfirm)
            m_ui.ThenIn<CMarlowickDlg>([&](CMarlowickDlg& dlg) { dlg.EndDialog(IDCANCEL); });
        EXPECT_FALSE(Start("/q /t/a b.torrent"));
        EXPECT_EQ(bLayout, bConfirm);
    }
    // "/Q" alone: an empty queue that waits for hand-offs.
    StoreCurrent(false);
    m_ui.ThenIn<CTransferDlg>([&](CTransferDlg& queue) {
        EXPECT_TRUE(queue.m_arrayTransferFile.empty());
        queue.EndDialog(IDOK);
    });
    EXPECT_FALSE(Start("/Q"));
}

// Records the paths a second start hands over.
class CRecordingHandOff final : public CHandOffServices {
public:
    std::vector<std::string> m_arrWritten;
    std::unique_ptr<CInstanceMutex> Lock() override { return nullptr; }
    bool QueueWindowRuns() override { return true; }
    bool WriteHandOff(const std::string& strPath) override {
        m_arrWritten.push_back(strPath);
        return true;
    }
    CRemoteResult SendUpdate() override { return {CRemoteStatus::Delivered, 0}; }
    bool ProgramRuns() override { return true; }
    bool StartQueueProgram(const std::string&) override { return false; }
    void Pause(unsigned) override {}
    void Report(const std::string&) override {}
};

TEST_F(StartUpTest, ASecondProcessHandsItsPathToTheRunningQueueAndOtherwiseEnds) {
    CLimitSingleInstance second(m_strGuard.c_str());
    for (const char* line : {"", "/M", "/Q", "/t/a.torrent", "/Q /t/b.torrent"}) {
        auto pHandOff = std::make_shared<CRecordingHandOff>();
        CAppServices services = Services();
        services.pHandOff = pHandOff;
        CMarlowickApp app(services, second);
        EXPECT_FALSE(app.InitInstance(line));
        const std::string strLine = line;
        const std::vector<std::string> expected =
            strLine == "/t/a.torrent"      ? std::vector<std::string>{"/t/a.torrent"}
            : strLine == "/Q /t/b.torrent" ? std::vector<std::string>{"/t/b.torrent"}
                                           : std::vector<std::string>{};
        EXPECT_EQ(pHandOff->m_arrWritten, expected) << line;
    }
    EXPECT_TRUE(m_ui.MessageBoxes().empty());
}

TEST_F(StartUpTest, ASecondProcessShowsNothing) {
    StoreCurrent(false);
    CLimitSingleInstance second(m_strGuard.c_str());
    ASSERT_TRUE(second.IsAnotherInstanceRunning());
    for (const char* line : {"", "/M", "/t/a.torrent"}) {
        CMarlowickApp app(Services(), second);
        EXPECT_FALSE(app.InitInstance(line));
    }
    EXPECT_TRUE(m_ui.MessageBoxes().empty());
    EXPECT_EQ(m_pJobs->Starts(), 0);
    EXPECT_TRUE(m_pJobs->Sent().empty());
}

} // namespace
