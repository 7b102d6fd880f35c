// The program's entry; portable.
#include "app/marlowick_app.h"

#include "app/command_line.h"
#include "settings_window/marlowick_dlg.h"

CMarlowickApp::CMarlowickApp(CAppServices services, const CLimitSingleInstance& guard)
    : m_services(std::move(services)), m_guard(guard) {}

bool CMarlowickApp::InitInstance(const std::string& strCommandLine) {
    if (m_guard.IsAnotherInstanceRunning())
        return false;
    CMarlowickDlg dlg(m_services);
    const CStartDecision decision = DecideStart(strCommandLine);
    switch (decision.eMode) {
    case EStartMode::Settings:
        dlg.DoModal();
        break;
    case EStartMode::Monitor:
        dlg.SetMonitorMode(true);
        dlg.DoModal();
        break;
    case EStartMode::File: {
        const std::string& strPath = decision.strTorrentFile;
        const CSettingsStore store(*m_services.pRegistry, m_services.strSettingsKey);
        const bool bConfirm = store.IsConfirmDialogOn();
        dlg.SetTorrentFile(strPath);
        store.LoadSettings(dlg);
        dlg.SetFileMode(true);
        if (bConfirm)
            dlg.DoModal();
        else
            dlg.fnFileTransfer(strPath);
        break;
    }
    }
    return false;
}
