// The busy dialog and its worker thread; portable.
#include "app/search_dlg.h"

#include "app/upload_job.h"

#include "resources/resources.h"

#include <array>

namespace {

std::shared_ptr<CBusyJobs> g_pBusyJobs;

// The retry's diagnostics name the account but never show its password.
std::string MaskedPassword(const std::string& strPassword) {
    return strPassword.empty() ? std::string() : std::string("********");
}

} // namespace

void SetBusyJobs(std::shared_ptr<CBusyJobs> pJobs) {
    g_pBusyJobs = std::move(pJobs);
}

std::shared_ptr<CBusyJobs> GetBusyJobs() {
    return g_pBusyJobs;
}

// Everything the worker reads, owned by the worker and the dialog together, and the one thing it
// writes (the message) before it reports.
struct CSearchDlg::CJob {
    int nJob = 0;
    CDeviceList* pDeviceList = nullptr; // the program-wide list, which outlives every dialog
    int nIndex = 0;
    std::string strUser;
    std::string strPassword;
    bool bHasParam = false;
    std::array<std::string, 11> arrFields; // the send record's texts
    NAS_BTDOWNLOAD_PARAM param{};          // points into arrFields
    std::shared_ptr<CBusyJobs> pJobs;
    CWindowPost post;
    std::string strMessage;

    void CopyParam(const NAS_BTDOWNLOAD_PARAM& src) {
        const char* const in[] = {src.url,          src.local_filename, src.user,      src.pw,
                                  src.share_list,   src.subdir,         src.this_file, src.todo,
                                  src.h_share_list, src.h_proto,        src.h_torrent};
        for (std::size_t i = 0; i < arrFields.size(); ++i)
            arrFields[i] = in[i] ? in[i] : "";
        param = {arrFields[0].c_str(), arrFields[1].c_str(), arrFields[2].c_str(),
                 arrFields[3].c_str(), arrFields[4].c_str(), arrFields[5].c_str(),
                 arrFields[6].c_str(), arrFields[7].c_str(), arrFields[8].c_str(),
                 arrFields[9].c_str(), arrFields[10].c_str()};
        bHasParam = true;
    }
};

namespace {

// The send: one upload, once more after a second when the Accept header already existed. Returns
// IDOK or IDCANCEL; on failure strMessage is what the user is shown, never empty.
int RunSend(CBusyJobs& jobs, const NAS_BTDOWNLOAD_PARAM* pParam, std::string& strMessage) {
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

void BusyThreadProc(const std::shared_ptr<CSearchDlg::CJob>& pJob) {
    int nResult = IDCANCEL;
    CBusyJobs* pJobs = pJob->pJobs.get();
    switch (pJob->nJob) {
    case BUSY_SEARCH:
        // A search always ends with OK: the caller reads whatever the list holds.
        if (pJobs)
            pJobs->Search(pJob->pDeviceList);
        nResult = IDOK;
        break;
    case BUSY_CHECK_ACCOUNT:
        nResult = pJobs && pJobs->CheckAccount(pJob->pDeviceList, pJob->nIndex, pJob->strUser,
                                               pJob->strPassword)
                      ? IDOK
                      : IDCANCEL;
        break;
    case BUSY_SEND:
        if (pJobs) {
            nResult = RunSend(*pJobs, pJob->bHasParam ? &pJob->param : nullptr, pJob->strMessage);
        } else {
            pJob->strMessage = LoadResString(IDS_TRANSFER_ERROR);
            nResult = IDCANCEL;
        }
        break;
    default:
        // An unknown job still reports, so that the dialog cannot wait forever.
        nResult = IDCANCEL;
        break;
    }
    pJob->post.Post(WM_BUSY_JOB_DONE, static_cast<WPARAM>(nResult), 0);
}

} // namespace

CSearchDlg::CSearchDlg(int nJob, CDeviceList* pDeviceList, int nIndex, const std::string& strUser,
                       const std::string& strPassword, std::shared_ptr<CBusyJobs> pJobs)
    : CDialog(GetDialogTemplate(IDD_BUSY_DIALOG)), m_nJob(nJob), m_pDeviceList(pDeviceList),
      m_nIndex(nIndex), m_strUser(strUser), m_strPassword(strPassword), m_pJobs(std::move(pJobs)) {
    MapHandlers();
}

CSearchDlg::CSearchDlg(const NAS_BTDOWNLOAD_PARAM* pParam, std::shared_ptr<CBusyJobs> pJobs)
    : CDialog(GetDialogTemplate(IDD_BUSY_DIALOG)), m_nJob(BUSY_SEND), m_pParam(pParam),
      m_pJobs(std::move(pJobs)) {
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
    MapMessage(WM_BUSY_JOB_DONE, &CSearchDlg::OnJobDone);
}

bool CSearchDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_BUSY_STATUS, m_strStatus);
    SetWindowText(LoadResString(IDS_APP_TITLE));
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
    SetDlgItemText(IDC_BUSY_STATUS, m_strStatus);
    // The worker starts only once the dialog shows and its loop runs.
    PostCommand(IDC_BUSY_START);
    return true;
}

void CSearchDlg::OnStartJob() {
    if (m_pJob)
        return; // one worker per dialog
    m_pJob = std::make_shared<CJob>();
    m_pJob->nJob = m_nJob;
    m_pJob->pDeviceList = m_pDeviceList;
    m_pJob->nIndex = m_nIndex;
    m_pJob->strUser = m_strUser;
    m_pJob->strPassword = m_strPassword;
    if (m_nJob == BUSY_SEND && m_pParam)
        m_pJob->CopyParam(*m_pParam);
    m_pJob->pJobs = m_pJobs;
    m_pJob->post = GetPost();
    m_worker = std::thread(BusyThreadProc, m_pJob);
}

LRESULT CSearchDlg::OnJobDone(WPARAM wParam, LPARAM /*lParam*/) {
    if (!m_pJob)
        return 0;
    m_strMessage = m_pJob->strMessage;
    EndDialog(static_cast<int>(wParam));
    return 0;
}
