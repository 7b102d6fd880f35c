// The busy dialog: one line of text while a search, an account check or a send runs on a worker
// thread; portable.
#pragma once

#include "app/job_services.h"
#include "app/upload_job.h"
#include "platform/ui/dialog.h"

#include <memory>
#include <string>
#include <thread>

class CDeviceList;

// Job kinds.
constexpr int BUSY_SEARCH = 169;
constexpr int BUSY_CHECK_ACCOUNT = 171;
constexpr int BUSY_SEND = 172;

// Runs one job modally. The dialog starts its worker once its loop runs and ends only when the
// worker reports: DoModal returns IDOK or IDCANCEL as the job turned out, and for a failed send
// m_strMessage holds the text to show. Escape, Enter and the close box do nothing meanwhile.
//
// The worker owns what it reads (the job, copies of the account, the services) and reports by
// posting work that carries its outcome, so it shares no member with the window; the destructor
// waits for it to return, which it does right after its post.
class CSearchDlg : public CDialog {
public:
    // Search (position 0, empty texts) or account check of the device at nIndex of pDeviceList.
    CSearchDlg(int nJob, CDeviceList* pDeviceList, int nIndex, const std::string& strUser,
               const std::string& strPassword,
               std::shared_ptr<CJobServices> pServices = GetJobServices());
    // Send of the job, which the worker shares until its upload has returned.
    explicit CSearchDlg(std::shared_ptr<const CUploadJob> pJob,
                        std::shared_ptr<CJobServices> pServices = GetJobServices());
    ~CSearchDlg() override;

    std::string m_strStatus;
    int m_nJob = 0;
    CDeviceList* m_pDeviceList = nullptr;
    int m_nIndex = 0;
    std::string m_strUser;
    std::string m_strPassword;
    std::shared_ptr<const CUploadJob> m_pParam;
    std::string m_strMessage;

protected:
    bool OnInitDialog() override;
    // Only the worker's report ends the dialog.
    void OnOK() override {}
    void OnCancel() override {}
    void OnStartJob();

private:
    void MapHandlers();

    std::shared_ptr<CJobServices> m_pServices;
    bool m_bStarted = false;
    std::thread m_worker;
};
