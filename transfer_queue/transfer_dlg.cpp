// The transfer queue window; portable.
#include "transfer_queue/transfer_dlg.h"

#include "app/settings.h"
#include "platform/debug_output.h"
#include "platform/text.h"
#include "resources/resources.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The workers of the process that have not returned yet.
struct CWorkerCount {
    std::mutex mutex;
    std::condition_variable cv;
    int nRunning = 0;
};

// Never destroyed: a worker may still be returning from its last notice while the process ends.
CWorkerCount& Workers() {
    static CWorkerCount* const pCount = new CWorkerCount;
    return *pCount;
}

void WorkerStarted() {
    std::lock_guard<std::mutex> lock(Workers().mutex);
    ++Workers().nRunning;
}

void WorkerEnded() {
    CWorkerCount& w = Workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    --w.nRunning;
    w.cv.notify_all();
}

CThreadStarter& ThreadStarter() {
    static CThreadStarter fnStart;
    return fnStart;
}

} // namespace

void SetTransferThreadStarter(CThreadStarter fnStart) {
    ThreadStarter() = std::move(fnStart);
}

void fnWaitForTransferWorkers() {
    CWorkerCount& w = Workers();
    std::unique_lock<std::mutex> lock(w.mutex);
    w.cv.wait(lock, [&] { return w.nRunning == 0; });
}

void TransferThreadProc(std::shared_ptr<const CUploadJob> pJob,
                        std::shared_ptr<CJobServices> pServices, CWindowPost post) {
    CJobServices& jobs = *pServices;
    const NAS_BTDOWNLOAD_PARAM& param = *pJob->GetParam();
    jobs.DebugOutput("Enter Thread BT Transfer");
    jobs.SetLogLevel(2);
    jobs.DebugOutput(param.local_filename);
    VARNEL_DWORD nCode = 0;
    int nVerdict = -1;
    if (jobs.UploadFile(param, nCode) != 0) {
        jobs.DebugOutput("varnel_NAS_BTDownloadForLocalFile = Success");
        nVerdict = 0;
    } else if (nCode == NAS_BTDOWNLOAD_ERR_HEADER_EXISTS) {
        jobs.Sleep(kUploadRetryPauseMs);
        if (jobs.UploadFile(param, nCode) != 0) {
            jobs.DebugOutput("varnel_NAS_BTDownloadForLocalFile = Success - retry");
            nVerdict = 0;
        } else {
            jobs.DebugOutput("dwRet = " + std::to_string(nCode));
            jobs.DebugOutput("varnel_NAS_BTDownloadForLocalFile = Fail - Retry");
        }
    } else {
        jobs.DebugOutput("varnel_NAS_BTDownloadForLocalFile = Other fail");
    }
    post.Post(WM_TRANSFER_STATUS, static_cast<WPARAM>(static_cast<LPARAM>(nVerdict)), 0);
}

CTransferDlg::CTransferDlg(std::shared_ptr<CJobServices> pServices,
                           std::shared_ptr<CRegistry> pRegistry, std::string strSettingsKey,
                           CUiWindow* pParent)
    : CDialog(GetDialogTemplate(IDD_TRANSFER_DIALOG), pParent), m_pServices(std::move(pServices)),
      m_pRegistry(std::move(pRegistry)), m_strSettingsKey(std::move(strSettingsKey)) {
    MapCommand(IDC_TRANSFER_NEXT, &CTransferDlg::OnTransfer);
    MapMessage(WM_TRANSFER_STATUS, &CTransferDlg::OnTransferStatus);
    MapMessage(WM_UPDATE_LIST, &CTransferDlg::OnUpdateListMessage);
}

CTransferDlg::~CTransferDlg() {
    DestroyPeer();
}

void CTransferDlg::Log(const std::string& strLine) const {
    if (m_pServices)
        m_pServices->DebugOutput(strLine);
    else
        mwDebugOutput(strLine);
}

bool CTransferDlg::AddTransferFile(const std::string& strPath) {
    if (!strPath.empty())
        m_arrayTransferFile.push_back(strPath);
    return true;
}

std::pair<int, int> CTransferDlg::ColumnWidths(int nListWidth) {
    return {2 * (nListWidth / 3) - 3, nListWidth / 3 - 3};
}

bool CTransferDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const auto [nName, nStatus] = ColumnWidths(GetItemRect(IDC_TRANSFER_LIST).Width());
    LvInsertColumn(IDC_TRANSFER_LIST, 0, LoadResString(IDS_COLUMN_FILE_NAME), nName);
    LvInsertColumn(IDC_TRANSFER_LIST, 1, LoadResString(IDS_COLUMN_STATUS), nStatus);
    for (std::size_t i = 0; i < m_arrayTransferFile.size(); ++i) {
        const int nRow =
            LvInsertItem(IDC_TRANSFER_LIST, static_cast<int>(i), m_arrayTransferFile[i]);
        LvSetItemText(IDC_TRANSFER_LIST, nRow, 1, LoadResString(IDS_STATUS_WAITING));
    }
    SetTopmost(true);
    const CRect rc = GetWindowRect();
    MoveWindow(CRect::FromXywh(0, 0, rc.Width(), rc.Height()));
    // Other processes hand files over to the window by its caption.
    ServeRemoteMessages();
    PostCommand(IDC_TRANSFER_NEXT);
    SetTimer(kTransferTimer, kTransferTimerMs);
    return true;
}

int CTransferDlg::FirstWaitingRow(int nRows) const {
    const std::string strWaiting = LoadResString(IDS_STATUS_WAITING);
    for (int i = 0; i < nRows; ++i)
        if (GetTextOps().CompareNoCase(LvGetItemText(IDC_TRANSFER_LIST, i, 1), strWaiting) == 0)
            return i;
    return -1;
}

void CTransferDlg::OnTransfer() {
    const int nRows = LvGetItemCount(IDC_TRANSFER_LIST);
    if (nRows == 0)
        return;
    const int nRow = FirstWaitingRow(nRows);
    if (nRow < 0)
        return;
    // A job runs: its record is the worker's; this Transfer is carried out when its result comes.
    if (m_bJobRunning) {
        m_bTransferPending = true;
        return;
    }
    m_nCurTransferIndex = nRow;
    Log("Ready to transfer " + std::to_string(nRow));
    // The sub-folder joins the share; both keep that, so every later job sends the same.
    m_strShareList += m_strSubDir;
    m_strSubDir.clear();
    const std::string strUrl = "http://" + m_strDeviceIP + "/Down/download_job.cgi";
    const std::string strFile = LvGetItemText(IDC_TRANSFER_LIST, nRow, 0);
    const NAS_BTDOWNLOAD_PARAM param{strUrl.c_str(),
                                     strFile.c_str(),
                                     m_strUser.c_str(),
                                     m_strPassword.c_str(),
                                     m_strShareList.c_str(),
                                     m_strSubDir.c_str(),
                                     "down_job.htm",
                                     "save",
                                     m_strShareList.c_str(),
                                     "1",
                                     "local"};
    // The job owns copies of its texts: the window may change or go while the worker reads.
    fnCreateTransferThread(std::make_shared<const CUploadJob>(param));
}

void CTransferDlg::fnCreateTransferThread(std::shared_ptr<const CUploadJob> pJob) {
    Log("Enter fnCreateTransferThread()");
    // The start notice is queued before the worker exists, so it always comes before the result.
    Post(WM_TRANSFER_STATUS, 1, 0);
    m_bJobRunning = true;
    WorkerStarted();
    // The worker owns its job, the services and the window's post handle; nothing of the window.
    std::function<void()> fnWork = [pJob = std::move(pJob), pServices = m_pServices,
                                    post = GetPost()]() mutable {
        TransferThreadProc(std::move(pJob), std::move(pServices), std::move(post));
        WorkerEnded();
    };
    try {
        if (ThreadStarter())
            ThreadStarter()(std::move(fnWork));
        else
            std::thread(std::move(fnWork)).detach();
    } catch (const std::exception&) {
        WorkerEnded();
        // No worker, no verdict from it: the row fails here and the run goes on.
        Log("the transfer worker could not be started");
        Post(WM_TRANSFER_STATUS, static_cast<WPARAM>(static_cast<LPARAM>(-1)), 0);
    }
}

LRESULT CTransferDlg::OnTransferStatus(WPARAM wParam, LPARAM /*lParam*/) {
    if (m_nCurTransferIndex < 0)
        return 0;
    const auto nStatus = static_cast<LPARAM>(wParam);
    if (nStatus == 1) {
        LvSetItemText(IDC_TRANSFER_LIST, m_nCurTransferIndex, 1,
                      LoadResString(IDS_STATUS_TRANSFERRING));
        m_bTransferring = true;
        return 0;
    }
    if (nStatus == 0 || nStatus == -1) {
        LvSetItemText(IDC_TRANSFER_LIST, m_nCurTransferIndex, 1,
                      LoadResString(nStatus == 0 ? IDS_STATUS_DONE : IDS_STATUS_FAIL));
        m_bJobRunning = false;
    }
    const int nRows = LvGetItemCount(IDC_TRANSFER_LIST);
    bool bPosted = false;
    if (m_nCurTransferIndex >= nRows - 1) {
        Log("**** All BT Transfer Done***");
        m_bTransferring = false;
    } else {
        Log("m_ctrllist_transfer.GetItemCount() = " + std::to_string(nRows) +
            ", m_nCurTransferIndex = " + std::to_string(m_nCurTransferIndex) +
            ", wparam = " + std::to_string(nStatus));
        Log("**** Continue to Next BT Transfer ***");
        PostCommand(IDC_TRANSFER_NEXT);
        bPosted = true;
    }
    if (m_bTransferPending && !m_bJobRunning) {
        m_bTransferPending = false;
        if (!bPosted)
            PostCommand(IDC_TRANSFER_NEXT);
    }
    return 0;
}

void CTransferDlg::OnTimer(std::uintptr_t /*nId*/) {
    if (m_bTransferring)
        return;
    if (FirstWaitingRow(static_cast<int>(m_arrayTransferFile.size())) >= 0) {
        Log("**** Triggle to transfer new BT from ontimer ***");
        PostCommand(IDC_TRANSFER_NEXT);
    }
}

LRESULT CTransferDlg::OnUpdateListMessage(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    Log("Enter OnUpdateListMessage");
    if (!m_pRegistry) {
        Log("Open OnUpdateListMessage-Key Fail");
        return 1;
    }
    const CSettingsStore store(*m_pRegistry, m_strSettingsKey);
    const CSettingsStore::CHandOff handOff = store.ReadHandOff();
    if (!handOff.bKey) {
        Log("Open OnUpdateListMessage-Key Fail");
        return 1;
    }
    Log("Open OnUpdateListMessage-Key OK");
    // Queued whole and trimmed, even when nothing is left: that row then fails.
    if (handOff.bRead)
        m_arrayTransferFile.push_back(handOff.strPath);
    Log(handOff.bRead ? handOff.strPath : std::string());
    if (IsWindow()) {
        const int nRows = LvGetItemCount(IDC_TRANSFER_LIST);
        const int nEntries = static_cast<int>(m_arrayTransferFile.size());
        Log("nAlreadinListCnt = " + std::to_string(nRows) +
            ", arrayCount = " + std::to_string(nEntries));
        for (int i = nRows; i < nEntries; ++i) {
            const std::string& strPath = m_arrayTransferFile[static_cast<std::size_t>(i)];
            Log("Idx = " + std::to_string(i) + ", = " + strPath);
            const int nRow = LvInsertItem(IDC_TRANSFER_LIST, i, strPath);
            LvSetItemText(IDC_TRANSFER_LIST, nRow, 1, LoadResString(IDS_STATUS_WAITING));
            Log("Add new List!");
        }
    }
    return 0;
}
