// The program's entry; portable.
#include "app/marlowick_app.h"

#include "app/command_line.h"
#include "settings_window/marlowick_dlg.h"
#include "transfer_queue/transfer_dlg.h"

CMarlowickApp::CMarlowickApp(CAppServices services, CLimitSingleInstance& guard)
    : m_services(std::move(services)), m_guard(guard) {}

bool CMarlowickApp::InitInstance(const std::string& strCommandLine) {
    const CStartDecision decision = DecideStart(strCommandLine);
    const std::string& strPath = decision.strTorrentFile;
    if (m_guard.IsAnotherInstanceRunning()) {
        // A file given to a second process is not lost: it joins the running one's queue.
        const bool bHasPath = decision.eMode == EStartMode::File ||
                              (decision.eMode == EStartMode::Queue && !strPath.empty());
        if (bHasPath && m_services.pHandOff) {
            m_guard.Close();
            fnHandOverPaths({strPath}, *m_services.pHandOff);
        }
        return false;
    }
    CMarlowickDlg dlg(m_services);
    switch (decision.eMode) {
    case EStartMode::Settings:
        dlg.DoModal();
        break;
    case EStartMode::Monitor:
        dlg.SetMonitorMode(true);
        dlg.DoModal();
        break;
    case EStartMode::File:
    case EStartMode::Queue: {
        const CSettingsStore store(*m_services.pRegistry, m_services.strSettingsKey);
        const bool bConfirm = store.IsConfirmDialogOn();
        dlg.SetTorrentFile(strPath);
        store.LoadSettings(dlg);
        if (decision.eMode == EStartMode::File)
            dlg.SetFileMode(true);
        else
            dlg.SetQueueMode(true);
        if (bConfirm)
            dlg.DoModal();
        else
            dlg.fnFileTransfer(strPath);
        break;
    }
    }
    // Closing the queue window during an upload does not cut it: the process ends after it.
    fnWaitForTransferWorkers();
    return false;
}
