// Test doubles for the transfer queue: job services whose uploads answer by file and can be held
// inside the call, and a settings key of the test's own; portable test support.
#pragma once

#include "app/settings.h"
#include "platform/headless/headless_driver.h"
#include "registry_test_scope.h"
#include "resources/resources.h"
#include "tests/app/job_services_stub.h"
#include "transfer_queue/transfer_dlg.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>

namespace mwtest {

struct CQueuedUpload {
    std::string strFile, strUrl, strUser, strPassword, strShareList, strSubDir, strHShareList;
};

// Uploads answer by file name: accepted unless told otherwise; an empty name is refused as the
// library refuses it. A hold keeps every upload inside the call until released.
class CQueueJobs final : public CJobServicesStub {
public:
    std::map<std::string, std::vector<VARNEL_DWORD>> m_codes; // per file: codes of its calls, 0 ok

    int UploadFile(const NAS_BTDOWNLOAD_PARAM& p, VARNEL_DWORD& nCode) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nEntered;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return !m_bHold; });
        // Read after the hold: a record that someone changed meanwhile would show here.
        m_arrUploads.push_back(
            {p.local_filename, p.url, p.user, p.pw, p.share_list, p.subdir, p.h_share_list});
        nCode = 0;
        if (std::string(p.local_filename).empty()) {
            nCode = NAS_BTDOWNLOAD_ERR_GENERAL;
        } else if (auto it = m_codes.find(p.local_filename);
                   it != m_codes.end() && !it->second.empty()) {
            nCode = it->second.front();
            it->second.erase(it->second.begin());
        }
        return nCode == 0 ? 1 : 0;
    }
    void SetLogLevel(int nLevel) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrLog.push_back("level " + std::to_string(nLevel));
    }
    void Sleep(unsigned nMs) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrLog.push_back("sleep " + std::to_string(nMs));
    }
    void DebugOutput(const std::string& strLine) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrLog.push_back(strLine);
    }

    void Hold() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHold = true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bHold = false;
        }
        m_cv.notify_all();
    }
    void WaitEntered(int n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_nEntered >= n; });
    }
    std::vector<CQueuedUpload> Uploads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrUploads;
    }
    std::vector<std::string> Files() {
        std::vector<std::string> out;
        for (const auto& u : Uploads())
            out.push_back(u.strFile);
        return out;
    }
    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrLog;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bHold = false;
    int m_nEntered = 0;
    std::vector<CQueuedUpload> m_arrUploads;
    std::vector<std::string> m_arrLog;
};

class TransferQueueTest : public ::testing::Test {
protected:
    CTestRegistryScope m_scope;
    std::shared_ptr<CRegistry> m_pRegistry{OpenUserRegistry()};
    std::shared_ptr<CQueueJobs> m_pJobs = std::make_shared<CQueueJobs>();
    CHeadlessDriver m_ui;

    void TearDown() override {
        EXPECT_FALSE(m_ui.Stalled());
        EXPECT_EQ(m_ui.PendingSteps(), 0u);
        m_pJobs->Release();
        fnWaitForTransferWorkers();
    }

    std::unique_ptr<CTransferDlg> MakeQueue(const std::string& strShare = "Download",
                                            const std::string& strSubDir = "") {
        auto pDlg = std::make_unique<CTransferDlg>(m_pJobs, m_pRegistry, m_scope.Key());
        pDlg->m_strDeviceIP = "10.0.0.2";
        pDlg->m_strUser = "admin";
        pDlg->m_strPassword = "secret";
        pDlg->m_strShareList = strShare;
        pDlg->m_strSubDir = strSubDir;
        return pDlg;
    }

    // What another process does: the value, then WM_UPDATE_LIST.
    LRESULT HandOver(CTransferDlg& dlg, const std::string& strPath) {
        EXPECT_TRUE(CSettingsStore(*m_pRegistry, m_scope.Key()).WriteHandOff(strPath));
        return dlg.WindowProc(WM_UPDATE_LIST, 0, 0);
    }

    static std::vector<std::string> Statuses(const CTransferDlg& dlg) {
        std::vector<std::string> out;
        for (int i = 0; i < dlg.LvGetItemCount(IDC_TRANSFER_LIST); ++i)
            out.push_back(dlg.LvGetItemText(IDC_TRANSFER_LIST, i, 1));
        return out;
    }
    static std::vector<std::string> Names(const CTransferDlg& dlg) {
        std::vector<std::string> out;
        for (int i = 0; i < dlg.LvGetItemCount(IDC_TRANSFER_LIST); ++i)
            out.push_back(dlg.LvGetItemText(IDC_TRANSFER_LIST, i, 0));
        return out;
    }
    // A step that waits until no row waits or transfers any more, then runs fn.
    void WhenIdle(CTransferDlg& dlg, std::function<void()> fn) {
        m_ui.ThenWhen(
            [&dlg] {
                for (const auto& s : Statuses(dlg))
                    if (s != "Done" && s != "Fail")
                        return false;
                return !dlg.m_bTransferring;
            },
            std::move(fn));
    }
};

} // namespace mwtest
