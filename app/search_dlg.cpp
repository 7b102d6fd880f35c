// The busy dialog and its worker thread; portable.
#include "app/search_dlg.h"

#include "app/upload_job.h"

#include "resources/resources.h"

#include <array>

namespace {

// The retry's diagnostics name the account but never show its password.
std::string MaskedPassword(const std::string& strPassword) {
    return strPassword.empty() ? std::string() : std::string("********");
}

// Everything the worker reads, owned by the worker alone (the send job shared with its builder).
struct CBusyWork {
    int nJob = 0;
    CDeviceList* pDeviceList = nullptr; // the program-wide list, which outlives every dialog
    int nIndex = 0;
    std::string strUser;
    std::string strPassword;
    std::shared_ptr<const CUploadJob> pJob;
    std::shared_ptr<CJobServices> pServices;
    CWindowPost post;
};

// The send: one upload, once more after a second when the Accept header already existed. Returns
// IDOK or IDCANCEL; on failure strMessage is what the user is shown, never empty.
int RunSend(CJobServices& jobs, const NAS_BTDOWNLOAD_PARAM* pParam, std::string& strMessage) {
    jobs.DebugOutput("Enter Transfer thread");
    jobs.SetLogLevel(2);
    std::string strDeviceMessage;
    VARNEL_DWORD nCode = 0;
    if (pParam) {
        bool bRetried = false;
        const int nResult = fnUploadWithRetry(
            [&](std::string& message, VARNEL_DWORD& code) {
                return jobs.Upload(*pParam, message, code);
            },
            [&](unsigned ms) { jobs.Sleep(ms); }, strDeviceMessage, nCode,
            [&] {
                bRetried = true;
                jobs.DebugOutput(std::string("localname = ") + pParam->local_filename +
                                 ", url = " + pParam->url + ", username = " + pParam->user +
                                 ", PW = " + MaskedPassword(pParam->pw) + ", rootsharelist = " +
                                 pParam->h_share_list + ", thisFile = " + pParam->this_file);
            });
        const std::string strCall = bRetried ? "varnel_NAS_BTDownloadForLocalFile() -retry "
                                             : "varnel_NAS_BTDownloadForLocalFile() ";
        if (nResult == 1) {
            jobs.DebugOutput(strCall + "OK");
            return IDOK;
        }
        jobs.DebugOutput(strCall + "Fail return = " + std::to_string(nCode));
    }
    // Whatever the code, a failure the device gave no words for gets the general text, so the
    // caller never shows an empty message box.
    strMessage = strDeviceMessage.empty() ? LoadResString(IDS_TRANSFER_ERROR) : strDeviceMessage;
    return IDCANCEL;
}

void BusyThreadProc(const CBusyWork& work) {
    int nResult = IDCANCEL;
    std::string strMessage;
    CJobServices* pJobs = work.pServices.get();
    switch (work.nJob) {
    case BUSY_SEARCH:
        // A search always ends with OK: the caller reads whatever the list holds.
        if (pJobs && work.pDeviceList)
            pJobs->Search(*work.pDeviceList);
        nResult = IDOK;
        break;
    case BUSY_CHECK_ACCOUNT:
        nResult = pJobs && work.pDeviceList &&
                          pJobs->CheckAccount(*work.pDeviceList, work.nIndex, work.strUser,
                                              work.strPassword)
                      ? IDOK
                      : IDCANCEL;
        break;
    case BUSY_SEND:
        if (pJobs) {
            nResult = RunSend(*pJobs, work.pJob ? work.pJob->GetParam() : nullptr, strMessage);
        } else {
            strMessage = LoadResString(IDS_TRANSFER_ERROR);
            nResult = IDCANCEL;
        }
        break;
    default:
        // An unknown job still reports, so that the dialog cannot wait forever.
        nResult = IDCANCEL;
        break;
    }
    // The outcome travels with the report: the window takes it on its own thread.
    work.post.PostWork([nResult, strMessage = std::move(strMessage)](CUiWindow& wnd) {
        auto& dlg = static_cast<CSearchDlg&>(wnd);
        dlg.m_strMessage = strMessage;
        dlg.EndDialog(nResult);
    });
}

} // namespace

CSearchDlg::CSearchDlg(int nJob, CDeviceList* pDeviceList, int nIndex, const std::string& strUser,
                       const std::string& strPassword, std::shared_ptr<CJobServices> pServices)
    : CDialog(GetDialogTemplate(IDD_BUSY_DIALOG)), m_nJob(nJob), m_pDeviceList(pDeviceList),
      m_nIndex(nIndex), m_strUser(strUser), m_strPassword(strPassword),
      m_pServices(std::move(pServices)) {
    MapHandlers();
}

CSearchDlg::CSearchDlg(std::shared_ptr<const CUploadJob> pJob,
                       std::shared_ptr<CJobServices> pServices)
    : CDialog(GetDialogTemplate(IDD_BUSY_DIALOG)), m_nJob(BUSY_SEND), m_pParam(std::move(pJob)),
      m_pServices(std::move(pServices)) {
    MapHandlers();
}

CSearchDlg::~CSearchDlg() {
    if (m_worker.joinable())
        m_worker.join();
}

void CSearchDlg::MapHandlers() {
    MapCommand(IDC_BUSY_START, &CSearchDlg::OnStartJob);
    // A click on the line of text does nothing.
    MapCommand(IDC_BUSY_STATUS, [] {});
}

bool CSearchDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetItemText(IDC_BUSY_STATUS, m_strStatus);
    SetCaption(LoadResString(IDS_APP_TITLE));
    switch (m_nJob) {
    case BUSY_SEARCH:
        m_strStatus = LoadResString(IDS_SEARCH_DEVICE);
        break;
    case BUSY_CHECK_ACCOUNT:
        m_strStatus = LoadResString(IDS_CHECK_DATA);
        break;
    case BUSY_SEND:
        m_strStatus = LoadResString(IDS_TRANSFERRING);
        break;
    default:
        break;
    }
    SetItemText(IDC_BUSY_STATUS, m_strStatus);
    // The worker starts only once the dialog shows and its loop runs.
    PostCommand(IDC_BUSY_START);
    return true;
}

void CSearchDlg::OnStartJob() {
    if (m_bStarted)
        return; // one worker per dialog
    m_bStarted = true;
    CBusyWork work;
    work.nJob = m_nJob;
    work.pDeviceList = m_pDeviceList;
    work.nIndex = m_nIndex;
    work.strUser = m_strUser;
    work.strPassword = m_strPassword;
    if (m_nJob == BUSY_SEND)
        work.pJob = m_pParam;
    work.pServices = m_pServices;
    work.post = GetPost();
    m_worker = std::thread(BusyThreadProc, std::move(work));
}
