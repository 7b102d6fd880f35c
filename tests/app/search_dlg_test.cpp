// Tests of the busy dialog and its worker on the headless backend, with scripted job outcomes;
// portable.
#include "app/search_dlg.h"
#include "discovery/device_list.h"
#include "platform/headless/headless_driver.h"
#include "tests/app/job_services_stub.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

struct CUploadOutcome {
    int nResult;
    VARNEL_DWORD nCode;
    std::string strMessage;
};

// Scripted outcomes, a record of the calls, a clock that only the worker's Sleep moves, and an
// optional gate that holds the worker inside its first call until the test releases it.
class CFakeJobs final : public CJobServicesStub {
public:
    bool Search(CDeviceList& list) override {
        Enter();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrCalls.push_back(&list == kList ? "search" : "search elsewhere");
        return m_bSearchResult;
    }
    bool CheckAccount(CDeviceList& list, int nIndex, const std::string& strUser,
                      const std::string& strPassword) override {
        Enter();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrCalls.push_back("check " + std::to_string(nIndex) + " " + strUser + " " + strPassword +
                             (&list == kList ? "" : " elsewhere"));
        // The device list holds two devices.
        return nIndex >= 0 && nIndex < 2 && strPassword == "right";
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& param, std::string& strMessage,
               VARNEL_DWORD& nCode) override {
        Enter();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrCalls.push_back(std::string("upload ") + param.url + " " + param.local_filename + " " +
                             param.pw);
        m_arrUploadTimes.push_back(m_nClock);
        if (m_outcomes.empty())
            return 0;
        const CUploadOutcome o = m_outcomes.front();
        m_outcomes.pop_front();
        nCode = o.nCode;
        strMessage = o.strMessage;
        return o.nResult;
    }
    void SetLogLevel(int nLevel) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrCalls.push_back("level " + std::to_string(nLevel));
    }
    void Sleep(unsigned nMs) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrCalls.push_back("sleep " + std::to_string(nMs));
        m_nClock += nMs;
    }
    void DebugOutput(const std::string& strLine) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrDebug.push_back(strLine);
    }

    // Test side.
    void Hold() { m_bHold = true; }
    void WaitEntered() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bEntered; });
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bHold = false;
        }
        m_cv.notify_all();
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrCalls;
    }
    std::vector<std::string> Debug() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrDebug;
    }
    std::vector<unsigned> UploadTimes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrUploadTimes;
    }

    static inline CDeviceList s_list;
    static inline CDeviceList* const kList = &s_list;
    bool m_bSearchResult = true;
    std::deque<CUploadOutcome> m_outcomes;

private:
    void Enter() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bEntered = true;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return !m_bHold; });
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bHold = false;
    bool m_bEntered = false;
    unsigned m_nClock = 0;
    std::vector<std::string> m_arrCalls;
    std::vector<std::string> m_arrDebug;
    std::vector<unsigned> m_arrUploadTimes;
};

// The caller's send record, with texts it owns.
struct CSendRecord {
    std::string strUrl = "http://10.0.0.2/Down/download_job.cgi";
    std::string strFile = "/tmp/a.torrent";
    std::string strPassword = "s3cret!";
    NAS_BTDOWNLOAD_PARAM param{};
    CSendRecord() { Point(); }
    // The job a caller builds from it: its own copy of every text.
    std::shared_ptr<const CUploadJob> Job() const {
        return std::make_shared<const CUploadJob>(param);
    }
    void Point() {
        param = {strUrl.c_str(), strFile.c_str(), "admin", strPassword.c_str(), "Download",
                 "/bt",          "down_job.htm",  "save",  "Download",          "1",
                 "local"};
    }
};

class BusyDialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_FALSE(m_ui.Stalled());
        EXPECT_EQ(m_ui.PendingSteps(), 0u);
    }
    CHeadlessDriver m_ui;
    std::shared_ptr<CFakeJobs> m_pJobs = std::make_shared<CFakeJobs>();
};

TEST_F(BusyDialogTest, ShowsTheCaptionAndTheJobsLineWhileTheWorkerRuns) {
    CSendRecord record;
    struct Case {
        int nJob;
        const char* line;
    };
    for (const Case c :
         {Case{BUSY_SEARCH, "Search Device ..."}, Case{BUSY_CHECK_ACCOUNT, "Check data ..."},
          Case{BUSY_SEND, "File transferring ..."}}) {
        auto pJobs = std::make_shared<CFakeJobs>();
        pJobs->m_outcomes = {{1, 0, ""}};
        pJobs->Hold();
        auto pDlg = c.nJob == BUSY_SEND ? std::make_unique<CSearchDlg>(record.Job(), pJobs)
                                        : std::make_unique<CSearchDlg>(c.nJob, CFakeJobs::kList, 0,
                                                                       "admin", "right", pJobs);
        m_ui.Then([&] {
            pJobs->WaitEntered();
            CDialog* pActive = m_ui.ActiveDialog();
            ASSERT_EQ(pActive, pDlg.get());
            EXPECT_EQ(pDlg->GetCaption(), "BT Download Setting");
            EXPECT_EQ(pDlg->GetItemText(IDC_BUSY_STATUS), c.line);
            EXPECT_TRUE(pDlg->IsItemVisible(IDC_BUSY_STATUS));
            for (int nId : {IDOK, IDCANCEL, IDC_BUSY_START})
                EXPECT_FALSE(pDlg->IsItemVisible(nId)) << nId;
            pJobs->Release();
        });
        EXPECT_EQ(pDlg->DoModal(), IDOK) << c.line;
    }
}

TEST_F(BusyDialogTest, ASearchEndsWithOkWhateverItFound) {
    for (bool bResult : {true, false}) {
        auto pJobs = std::make_shared<CFakeJobs>();
        pJobs->m_bSearchResult = bResult;
        CSearchDlg dlg(BUSY_SEARCH, CFakeJobs::kList, 0, "", "", pJobs);
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(pJobs->Calls(), (std::vector<std::string>{"search"}));
        EXPECT_EQ(dlg.m_strMessage, "");
    }
}

TEST_F(BusyDialogTest, AnAccountCheckEndsWithTheDevicesAnswer) {
    struct Case {
        int nIndex;
        const char* pw;
        int nExpected;
    };
    for (const Case c : {Case{1, "right", IDOK}, Case{1, "wrong", IDCANCEL},
                         Case{2, "right", IDCANCEL}, Case{-1, "right", IDCANCEL}}) {
        auto pJobs = std::make_shared<CFakeJobs>();
        CSearchDlg dlg(BUSY_CHECK_ACCOUNT, CFakeJobs::kList, c.nIndex, "admin", c.pw, pJobs);
        EXPECT_EQ(dlg.DoModal(), c.nExpected) << c.nIndex << " " << c.pw;
        EXPECT_EQ(pJobs->Calls(), (std::vector<std::string>{"check " + std::to_string(c.nIndex) +
                                                            " admin " + c.pw}));
    }
}

TEST_F(BusyDialogTest, ASendEndsByTheUploadsOutcomeWithOneRetryOnAnExistingHeader) {
    struct Case {
        const char* name;
        std::deque<CUploadOutcome> outcomes;
        int nExpected;
        const char* message;
        std::size_t nUploads;
    };
    const std::vector<Case> cases = {
        {"accepted", {{1, 0, ""}}, IDOK, "", 1},
        {"7000 then accepted", {{0, 7000, ""}, {1, 0, ""}}, IDOK, "", 2},
        {"7999 without a message", {{0, 7999, ""}}, IDCANCEL, "File transfer error.", 1},
        {"7999 with the device's message",
         {{0, 7999, "Share not found"}},
         IDCANCEL,
         "Share not found",
         1},
        {"7001 without a message", {{0, 7001, ""}}, IDCANCEL, "File transfer error.", 1},
        {"7000 twice",
         {{0, 7000, ""}, {0, 7000, ""}, {1, 0, ""}},
         IDCANCEL,
         "File transfer error.",
         2},
        {"7000 then refused", {{0, 7000, ""}, {0, 7999, "Job exists"}}, IDCANCEL, "Job exists", 2},
    };
    for (const auto& c : cases) {
        auto pJobs = std::make_shared<CFakeJobs>();
        pJobs->m_outcomes = c.outcomes;
        CSendRecord record;
        CSearchDlg dlg(record.Job(), pJobs);
        EXPECT_EQ(dlg.DoModal(), c.nExpected) << c.name;
        EXPECT_EQ(dlg.m_strMessage, c.message) << c.name;
        const auto times = pJobs->UploadTimes();
        ASSERT_EQ(times.size(), c.nUploads) << c.name;
        // The retry comes at least a second after the first try.
        if (c.nUploads == 2) {
            EXPECT_GE(times[1] - times[0], 1000u) << c.name;
        }
        const auto calls = pJobs->Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front(), "level 2") << c.name;
    }
}

TEST_F(BusyDialogTest, TheRetrysDiagnosticsHideThePassword) {
    m_pJobs->m_outcomes = {{0, 7000, ""}, {1, 0, ""}};
    CSendRecord record;
    CSearchDlg dlg(record.Job(), m_pJobs);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    const auto lines = m_pJobs->Debug();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Enter Transfer thread");
    EXPECT_EQ(lines[1], "localname = /tmp/a.torrent, url = http://10.0.0.2/Down/download_job.cgi, "
                        "username = admin, PW = ********, rootsharelist = Download, "
                        "thisFile = down_job.htm");
    EXPECT_EQ(lines[2], "varnel_NAS_BTDownloadForLocalFile() -retry OK");
    for (const auto& line : lines)
        EXPECT_EQ(line.find(record.strPassword), std::string::npos) << line;
}

TEST_F(BusyDialogTest, EscapeEnterAndTheCloseBoxDoNotEndItWhileTheWorkerRuns) {
    m_pJobs->m_outcomes = {{1, 0, ""}};
    m_pJobs->Hold();
    CSendRecord record;
    CSearchDlg dlg(record.Job(), m_pJobs);
    m_ui.Then([&] {
        m_pJobs->WaitEntered();
        EXPECT_TRUE(m_ui.PressEscape());
        EXPECT_TRUE(m_ui.CloseWindow());
        EXPECT_TRUE(m_ui.PressEnter());
        EXPECT_TRUE(m_ui.IsRunning(dlg));
        m_pJobs->Release();
    });
    // The outcome is the worker's, not the keys'.
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(BusyDialogTest, TheWorkerSendsItsOwnCopyOfTheRecord) {
    m_pJobs->m_outcomes = {{1, 0, ""}};
    m_pJobs->Hold();
    CSendRecord record;
    CSearchDlg dlg(record.Job(), m_pJobs);
    m_ui.Then([&] {
        m_pJobs->WaitEntered();
        // The caller's texts change (and move) while the upload is under way.
        record.strUrl.assign(200, 'x');
        record.strFile = "/elsewhere.torrent";
        record.strPassword.clear();
        record.Point();
        m_pJobs->Release();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(
        m_pJobs->Calls(),
        (std::vector<std::string>{
            "level 2", "upload http://10.0.0.2/Down/download_job.cgi /tmp/a.torrent s3cret!"}));
}

TEST_F(BusyDialogTest, WithoutASeamTheJobsEndAsFailuresNotHangs) {
    CSearchDlg search(BUSY_SEARCH, nullptr, 0, "", "", nullptr);
    EXPECT_EQ(search.DoModal(), IDOK);
    CSendRecord record;
    CSearchDlg send(record.Job(), nullptr);
    EXPECT_EQ(send.DoModal(), IDCANCEL);
    EXPECT_EQ(send.m_strMessage, "File transfer error.");
    CSearchDlg unknown(170, nullptr, 0, "", "", m_pJobs);
    EXPECT_EQ(unknown.DoModal(), IDCANCEL);
}

} // namespace
