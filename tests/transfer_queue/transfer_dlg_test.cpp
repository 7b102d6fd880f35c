// The transfer queue window on the headless backend: its rows, the run, hand-offs, the timer, the
// join of share and sub-folder, and the mends; portable.
#include "transfer_queue_fixture.h"

#include <thread>

namespace {

using mwtest::TransferQueueTest;

TEST_F(TransferQueueTest, TheWindowListsItsQueueAndSendsItInOrder) {
    EXPECT_EQ(CTransferDlg::ColumnWidths(300), (std::pair<int, int>{197, 97}));
    auto pDlg = MakeQueue();
    pDlg->AddTransferFile("/t/a.torrent");
    pDlg->AddTransferFile(""); // ignored
    pDlg->AddTransferFile("/t/b.torrent");
    m_pJobs->m_codes["/t/b.torrent"] = {NAS_BTDOWNLOAD_ERR_GENERAL};
    WhenIdle(*pDlg, [&] {
        EXPECT_EQ(pDlg->GetCaption(), "Transfer");
        EXPECT_TRUE(m_ui.IsTopmost(*pDlg));
        EXPECT_EQ(pDlg->GetWindowRect().left, 0);
        EXPECT_EQ(pDlg->GetWindowRect().top, 0);
        // The headless list is 213 pixels wide.
        EXPECT_EQ(pDlg->LvGetColumnWidth(IDC_TRANSFER_LIST, 0), 139);
        EXPECT_EQ(pDlg->LvGetColumnWidth(IDC_TRANSFER_LIST, 1), 68);
        EXPECT_EQ(Names(*pDlg), (std::vector<std::string>{"/t/a.torrent", "/t/b.torrent"}));
        EXPECT_EQ(Statuses(*pDlg), (std::vector<std::string>{"Done", "Fail"}));
        pDlg->EndDialog(IDOK);
    });
    EXPECT_EQ(pDlg->DoModal(), IDOK);
    EXPECT_EQ(m_pJobs->Files(), (std::vector<std::string>{"/t/a.torrent", "/t/b.torrent"}));
    const auto log = m_pJobs->Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Ready to transfer 1"), log.end());
    EXPECT_EQ(log.back(), "**** All BT Transfer Done***");
}

TEST_F(TransferQueueTest, ShareAndSubFolderAreSentJoinedWithAnEmptySubdir) {
    for (const auto& [strShare, strSub, strExpected] :
         {std::tuple<std::string, std::string, std::string>{"Download", "/bt", "Download/bt"},
          {"Download", "", "Download"}}) {
        auto pJobs = std::make_shared<mwtest::CQueueJobs>();
        m_pJobs = pJobs;
        auto pDlg = MakeQueue(strShare, strSub);
        pDlg->AddTransferFile("/t/a.torrent");
        pDlg->AddTransferFile("/t/b.torrent");
        WhenIdle(*pDlg, [&] { pDlg->EndDialog(IDOK); });
        pDlg->DoModal();
        const auto uploads = pJobs->Uploads();
        ASSERT_EQ(uploads.size(), 2u);
        for (const auto& u : uploads) {
            EXPECT_EQ(u.strShareList, strExpected);
            EXPECT_EQ(u.strHShareList, strExpected);
            EXPECT_EQ(u.strSubDir, "");
            EXPECT_EQ(u.strUrl, "http://10.0.0.2/Down/download_job.cgi");
            EXPECT_EQ(u.strUser, "admin");
        }
    }
}

TEST_F(TransferQueueTest, AnEmptyQueueWaitsAndTheTimerStartsWhatIsHandedOver) {
    auto pDlg = MakeQueue();
    const std::string strLong(2000, 'x'); // any length is queued whole
    m_ui.Then(*pDlg, [&] {
        EXPECT_TRUE(m_pJobs->Uploads().empty());
        EXPECT_EQ(HandOver(*pDlg, "/t/a.torrent"), 0);
        EXPECT_EQ(HandOver(*pDlg, "/t/a.torrent"), 0); // twice: two rows
        EXPECT_EQ(HandOver(*pDlg, " \t "), 0);         // blank: a row with no name
        EXPECT_EQ(HandOver(*pDlg, "/t/" + strLong), 0);
        EXPECT_EQ(Names(*pDlg),
                  (std::vector<std::string>{"/t/a.torrent", "/t/a.torrent", "", "/t/" + strLong}));
        EXPECT_EQ(Statuses(*pDlg), std::vector<std::string>(4, "Waiting"));
        m_ui.Advance(4999);
        EXPECT_TRUE(m_pJobs->Uploads().empty());
        m_ui.Advance(1);
    });
    WhenIdle(*pDlg, [&] {
        EXPECT_EQ(Statuses(*pDlg), (std::vector<std::string>{"Done", "Done", "Fail", "Done"}));
        EXPECT_EQ(m_pJobs->Files(),
                  (std::vector<std::string>{"/t/a.torrent", "/t/a.torrent", "", "/t/" + strLong}));
        pDlg->EndDialog(IDOK);
    });
    pDlg->DoModal();
}

TEST_F(TransferQueueTest, AHandOffDuringARunIsSentRightAfterTheCurrentRow) {
    auto pDlg = MakeQueue();
    pDlg->AddTransferFile("/t/a.torrent");
    m_pJobs->Hold();
    m_ui.Then(*pDlg, [&] {
        m_pJobs->WaitEntered(1);
        EXPECT_EQ(Statuses(*pDlg), (std::vector<std::string>{"Transferring"}));
        HandOver(*pDlg, "/t/b.torrent");
        m_pJobs->Release();
    });
    // No timer: the result of the first row starts the second.
    WhenIdle(*pDlg, [&] {
        EXPECT_EQ(m_ui.GetTickCount(), 0u);
        EXPECT_EQ(Statuses(*pDlg), (std::vector<std::string>{"Done", "Done"}));
        pDlg->EndDialog(IDOK);
    });
    pDlg->DoModal();
}

TEST_F(TransferQueueTest, StatusTextsCompareWithoutCaseAndTransferWithNothingWaitingDoesNothing) {
    auto pDlg = MakeQueue();
    pDlg->AddTransferFile("/t/a.torrent");
    WhenIdle(*pDlg, [&] {
        const std::size_t nLog = m_pJobs->Log().size();
        EXPECT_TRUE(m_ui.Click(IDC_TRANSFER_NEXT));
        m_ui.Advance(10000);
        EXPECT_EQ(m_pJobs->Log().size(), nLog); // nothing sent, nothing logged
        pDlg->LvSetItemText(IDC_TRANSFER_LIST, 0, 1, "WAITING");
        EXPECT_TRUE(m_ui.Click(IDC_TRANSFER_NEXT));
    });
    m_ui.ThenWhen([&] { return m_pJobs->Uploads().size() == 2 && !pDlg->m_bTransferring; },
                  [&] { pDlg->EndDialog(IDOK); });
    pDlg->DoModal();
    EXPECT_EQ(m_pJobs->Files(), (std::vector<std::string>{"/t/a.torrent", "/t/a.torrent"}));
}

TEST_F(TransferQueueTest, AFailedLastRowLeavesTheQueueIdleAndTheTimerStartsLaterFiles) {
    auto pDlg = MakeQueue();
    pDlg->AddTransferFile("/t/bad.torrent");
    m_pJobs->m_codes["/t/bad.torrent"] = {NAS_BTDOWNLOAD_ERR_HEADER_FAILED};
    WhenIdle(*pDlg, [&] {
        EXPECT_FALSE(pDlg->m_bTransferring);
        EXPECT_EQ(Statuses(*pDlg), (std::vector<std::string>{"Fail"}));
        HandOver(*pDlg, "/t/next.torrent");
        m_ui.Advance(5000);
    });
    m_ui.ThenWhen([&] { return Statuses(*pDlg).back() == "Done"; }, [&] { pDlg->EndDialog(IDOK); });
    pDlg->DoModal();
}

// ---- The mends

TEST_F(TransferQueueTest, EveryStartNoticeComesBeforeItsResult) {
    // Workers that answer at once race their start notice: the notice must still come first, or
    // rows stay "Transferring" and the run stops.
    auto pDlg = MakeQueue();
    for (int i = 0; i < 40; ++i)
        pDlg->AddTransferFile("/t/" + std::to_string(i) + ".torrent");
    WhenIdle(*pDlg, [&] {
        EXPECT_EQ(Statuses(*pDlg), std::vector<std::string>(40, "Done"));
        pDlg->EndDialog(IDOK);
    });
    pDlg->DoModal();
}

TEST_F(TransferQueueTest, TransferDuringAJobWaitsForItsResultAndTheWorkerKeepsItsOwnJob) {
    auto pDlg = MakeQueue("Download", "/bt");
    pDlg->AddTransferFile("/t/a.torrent");
    pDlg->AddTransferFile("/t/b.torrent");
    m_pJobs->Hold();
    m_ui.Then(*pDlg, [&] {
        m_pJobs->WaitEntered(1);
        // The user presses Transfer, and the window's connection changes, while a job runs.
        EXPECT_TRUE(m_ui.Click(IDC_TRANSFER_NEXT));
        pDlg->m_strShareList = "Elsewhere";
        pDlg->m_strUser = "other";
        m_pJobs->Release();
    });
    WhenIdle(*pDlg, [&] { pDlg->EndDialog(IDOK); });
    pDlg->DoModal();
    const auto uploads = m_pJobs->Uploads();
    ASSERT_EQ(uploads.size(), 2u); // each row once
    EXPECT_EQ(uploads[0].strFile, "/t/a.torrent");
    EXPECT_EQ(uploads[0].strShareList, "Download/bt");
    EXPECT_EQ(uploads[0].strUser, "admin");
    EXPECT_EQ(uploads[1].strFile, "/t/b.torrent");
}

TEST_F(TransferQueueTest, ClosingDuringAnUploadFreesNothingItReadsAndTheProcessWaitsForIt) {
    auto pDlg = MakeQueue();
    pDlg->AddTransferFile("/t/a.torrent");
    m_pJobs->Hold();
    m_ui.Then(*pDlg, [&] {
        m_pJobs->WaitEntered(1);
        pDlg->EndDialog(IDCANCEL);
    });
    EXPECT_EQ(pDlg->DoModal(), IDCANCEL);
    pDlg.reset(); // the window and its object are gone while the upload runs
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_pJobs->Release();
    });
    fnWaitForTransferWorkers();
    EXPECT_EQ(m_pJobs->Files(), (std::vector<std::string>{"/t/a.torrent"}));
    releaser.join();
    m_ui.DeliverPosted(); // the verdict finds no window
}

TEST_F(TransferQueueTest, AWorkerThatCannotStartFailsItsRowAndTheRunGoesOn) {
    int nStarts = 0;
    SetTransferThreadStarter([&](std::function<void()> fn) {
        if (nStarts++ == 0)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        std::thread(std::move(fn)).detach();
    });
    auto pDlg = MakeQueue();
    pDlg->AddTransferFile("/t/a.torrent");
    pDlg->AddTransferFile("/t/b.torrent");
    WhenIdle(*pDlg, [&] {
        EXPECT_EQ(Statuses(*pDlg), (std::vector<std::string>{"Fail", "Done"}));
        pDlg->EndDialog(IDOK);
    });
    pDlg->DoModal();
    SetTransferThreadStarter({});
    EXPECT_EQ(m_pJobs->Files(), (std::vector<std::string>{"/t/b.torrent"}));
}

TEST_F(TransferQueueTest, AHandOffThatCannotBeReadIsLoggedAndDropped) {
    auto pDlg = MakeQueue();
    m_ui.Then(*pDlg, [&] {
        // No key at all yet: the handler says so.
        EXPECT_EQ(pDlg->WindowProc(WM_UPDATE_LIST, 0, 0), 1);
        // A key without the value: nothing queued.
        EXPECT_TRUE(CSettingsStore(*m_pRegistry, m_scope.Key()).SaveConfirmDialog(true));
        EXPECT_EQ(pDlg->WindowProc(WM_UPDATE_LIST, 0, 0), 0);
        EXPECT_EQ(pDlg->LvGetItemCount(IDC_TRANSFER_LIST), 0);
        pDlg->EndDialog(IDOK);
    });
    pDlg->DoModal();
    const auto log = m_pJobs->Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Open OnUpdateListMessage-Key Fail"), log.end());
}

// ---- The worker alone

// Receives the worker's verdict, as the queue window does.
class CVerdictProbe : public CDialog {
public:
    CVerdictProbe() : CDialog(GetDialogTemplate(IDD_TRANSFER_DIALOG)) {
        MapMessage(WM_TRANSFER_STATUS, [this](WPARAM w, LPARAM) {
            m_arrVerdicts.push_back(static_cast<LPARAM>(w));
            EndDialog(IDOK);
            return LRESULT{0};
        });
    }
    std::vector<LPARAM> m_arrVerdicts;
};

TEST(TransferWorker, EachOutcomeGivesItsCallsWaitLogLinesAndVerdict) {
    struct Case {
        const char* name;
        std::vector<VARNEL_DWORD> codes;
        std::size_t nCalls;
        bool bSleep;
        std::vector<std::string> lines; // after the file name
        LPARAM nVerdict;
    };
    const std::vector<Case> cases = {
        {"success", {}, 1, false, {"varnel_NAS_BTDownloadForLocalFile = Success"}, 0},
        {"7000 then success",
         {7000},
         2,
         true,
         {"varnel_NAS_BTDownloadForLocalFile = Success - retry"},
         0},
        {"7000 twice",
         {7000, 7000},
         2,
         true,
         {"dwRet = 7000", "varnel_NAS_BTDownloadForLocalFile = Fail - Retry"},
         -1},
        {"7001", {7001}, 1, false, {"varnel_NAS_BTDownloadForLocalFile = Other fail"}, -1},
        {"7999", {7999}, 1, false, {"varnel_NAS_BTDownloadForLocalFile = Other fail"}, -1},
        // The library refuses an empty name with 7999: no second call.
        {"no file name", {}, 1, false, {"varnel_NAS_BTDownloadForLocalFile = Other fail"}, -1},
    };
    CHeadlessDriver ui;
    for (const auto& c : cases) {
        auto pJobs = std::make_shared<mwtest::CQueueJobs>();
        const std::string strFile = std::string(c.name) == "no file name" ? "" : "/t/a.torrent";
        pJobs->m_codes[strFile] = c.codes;
        CVerdictProbe probe;
        ui.Then([&] {
            const NAS_BTDOWNLOAD_PARAM p{"http://10.0.0.2/Down/download_job.cgi",
                                         strFile.c_str(),
                                         "admin",
                                         "secret",
                                         "Download",
                                         "",
                                         "down_job.htm",
                                         "save",
                                         "Download",
                                         "1",
                                         "local"};
            TransferThreadProc(std::make_shared<const CUploadJob>(p), pJobs, probe.GetPost());
        });
        EXPECT_EQ(probe.DoModal(), IDOK) << c.name;
        EXPECT_EQ(probe.m_arrVerdicts, (std::vector<LPARAM>{c.nVerdict})) << c.name;
        EXPECT_EQ(pJobs->Uploads().size(), c.nCalls) << c.name;
        std::vector<std::string> expected{"Enter Thread BT Transfer", "level 2", strFile};
        if (c.bSleep)
            expected.push_back("sleep 1000");
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(pJobs->Log(), expected) << c.name;
    }
}

} // namespace
