// The transfer queue window: the .torrent files waiting for the device with their status, sent one
// after another on a worker each; files handed over by other processes join the queue; portable.
#pragma once

#include "app/job_services.h"
#include "app/upload_job.h"
#include "platform/registry.h"
#include "platform/ui/dialog.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A job started (wParam 1), succeeded (0) or failed (-1).
constexpr unsigned WM_TRANSFER_STATUS = WM_USER + 1111;
// A path waits in "NewItem4Transfer" (from another process).
constexpr unsigned WM_UPDATE_LIST = WM_USER + 1234;
// The timer that starts files arriving while the queue is idle.
constexpr std::uintptr_t kTransferTimer = 1025;
constexpr unsigned kTransferTimerMs = 5000;
// The window's caption, by which other processes find it.
inline constexpr char kTransferCaption[] = "Transfer";

// The upload of one job on its own thread (the worker): the upload, once more after a second on
// 7000, and the verdict posted to the window as WM_TRANSFER_STATUS 0 or -1. The worker owns
// everything it reads; it logs through the services' debugger output.
void TransferThreadProc(std::shared_ptr<const CUploadJob> pJob,
                        std::shared_ptr<CJobServices> pServices, CWindowPost post);

// Starts a worker thread running fn, detached; throws std::system_error when it cannot. Tests put
// their own in to see a worker that cannot start.
using CThreadStarter = std::function<void(std::function<void()> fn)>;
void SetTransferThreadStarter(CThreadStarter fnStart);

// Waits until every transfer worker of the process has returned (the process's last act), so a
// device never gets a cut request when the window was closed during an upload.
void fnWaitForTransferWorkers();

class CTransferDlg : public CDialog {
public:
    CTransferDlg(std::shared_ptr<CJobServices> pServices, std::shared_ptr<CRegistry> pRegistry,
                 std::string strSettingsKey, CUiWindow* pParent = nullptr);
    ~CTransferDlg() override;

    // Queues a path before the window runs; an empty one is ignored. Always true.
    bool AddTransferFile(const std::string& strPath);

    // The column widths for a list control of that width: 2 * (W / 3) - 3 and W / 3 - 3.
    static std::pair<int, int> ColumnWidths(int nListWidth);

    // The connection, set by the creator before the window runs.
    std::string m_strDeviceIP;
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strShareList;
    std::string m_strSubDir;

    std::vector<std::string> m_arrayTransferFile;
    int m_nCurTransferIndex = -1;
    bool m_bTransferring = false;

protected:
    bool OnInitDialog() override;
    void OnTimer(std::uintptr_t nId) override;

    void OnTransfer();
    LRESULT OnTransferStatus(WPARAM wParam, LPARAM lParam);
    LRESULT OnUpdateListMessage(WPARAM wParam, LPARAM lParam);

private:
    // Starts the worker for the job; the start notice is posted first.
    void fnCreateTransferThread(std::shared_ptr<const CUploadJob> pJob);
    int FirstWaitingRow(int nRows) const;
    void Log(const std::string& strLine) const;

    std::shared_ptr<CJobServices> m_pServices;
    std::shared_ptr<CRegistry> m_pRegistry;
    std::string m_strSettingsKey;
    // A job runs between its start and its result; a Transfer meanwhile waits for the result.
    bool m_bJobRunning = false;
    bool m_bTransferPending = false;
};
