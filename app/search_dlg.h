// The busy dialog: one line of text while a search, an account check or a send runs on a worker
// thread; portable.
#pragma once

#include "app/busy_jobs.h"
#include "platform/ui/dialog.h"
#include "upload/varnel.h"

#include <memory>
#include <string>
#include <thread>

class CDeviceList;

// Job kinds.
constexpr int BUSY_SEARCH = 169;
constexpr int BUSY_CHECK_ACCOUNT = 171;
constexpr int BUSY_SEND = 172;

// The worker's report: wParam IDOK or IDCANCEL.
constexpr unsigned WM_BUSY_JOB_DONE = WM_USER + 169;

// Runs one job modally. The dialog starts its worker once its loop runs and ends only when the
// worker reports: DoModal returns IDOK or IDCANCEL as the job turned out, and for a failed send
// m_strMessage holds the text to show. Escape, Enter and the close box do nothing meanwhile.
//
// The worker works on its own copies of the job's inputs (the send record included) and reports
// through a post, so nothing it uses belongs to the window; the destructor waits for it to
// return, which it does right after its post.
class CSearchDlg : public CDialog {
public:
    // Search (position 0, empty texts) or account check of the device at nIndex of pDeviceList.
    CSearchDlg(int nJob, CDeviceList* pDeviceList, int nIndex, const std::string& strUser,
               const std::string& strPassword, std::shared_ptr<CBusyJobs> pJobs = GetBusyJobs());
    // Send of the record; it is copied when the job starts.
    explicit CSearchDlg(const NAS_BTDOWNLOAD_PARAM* pParam,
                        std::shared_ptr<CBusyJobs> pJobs = GetBusyJobs());
    ~CSearchDlg() override;

    std::string m_strStatus;
    int m_nJob = 0;
    CDeviceList* m_pDeviceList = nullptr;
    int m_nIndex = 0;
    std::string m_strUser;
    std::string m_strPassword;
    const NAS_BTDOWNLOAD_PARAM* m_pParam = nullptr;
    std::string m_strMessage;

    // The worker's share of the job (defined with the worker).
    struct CJob;

protected:
    bool OnInitDialog() override;
    // Only the worker's report ends the dialog.
    void OnOK() override {}
    void OnCancel() override {}
    void OnStartJob();
    LRESULT OnJobDone(WPARAM wParam, LPARAM lParam);

private:
    void MapHandlers();

    std::shared_ptr<CBusyJobs> m_pJobs;
    std::shared_ptr<CJob> m_pJob;
    std::thread m_worker;
};
