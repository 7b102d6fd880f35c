// The main window's .torrent association check box and the Set command; portable.
#include "settings_window/marlowick_dlg.h"

#include "app/program_paths.h"

#include "platform/debug_output.h"
#include "platform/text.h"
#include "resources/resources.h"

namespace {

std::string ModulePath(const CAppServices& services) {
    return services.pShell ? services.pShell->GetModulePath() : std::string();
}

} // namespace

void CMarlowickDlg::SetAssociationCaption(bool bActive) {
    SetItemText(IDC_FILE_ASSOCIATION, LoadResString(IDS_FILE_ASSOCIATION) +
                                          LoadResString(bActive ? IDS_ENABLE : IDS_DISABLE));
}

bool CMarlowickDlg::IsFileAssociationActive() {
    const std::string strExpected = SiblingProgram(ModulePath(m_services), "Arbolet");
    mwDebugOutput(strExpected);
    if (!m_services.pAssociation)
        return false;
    const std::string strCommand = m_services.pAssociation->GetHandlerCommand(".torrent");
    // Containment is enough (the command quotes the path and adds the file's place holder); the
    // comparison follows the system's rule for paths, so letter case counts only where it does.
    return !strExpected.empty() && m_text.ContainsPath(strCommand, strExpected);
}

void CMarlowickDlg::OnCheckFileAssociation() {
    const bool bChecked = IsDlgButtonChecked(IDC_FILE_ASSOCIATION) == 1;
    mwDebugOutput(bChecked ? "Check File Association" : "Un-Check File Association");
    SetAssociationCaption(bChecked);
}

void CMarlowickDlg::OnSet() {
    if (m_bMonitorMode)
        return;
    // Set is hidden in the file and queue layouts: Enter there must not store settings or switch
    // the association behind the user's back.
    if (!IsItemVisible(IDOK))
        return;
    if (!CheckSettings())
        return;
    const std::string strModule = ModulePath(m_services);
    const bool bChecked = IsDlgButtonChecked(IDC_FILE_ASSOCIATION) == 1;
    const std::string strArgument = bChecked ? "/Y" : "/N";
    mwDebugOutput(bChecked ? "OnSet Check File Association" : "OnSet Un-Check File Association");
    const std::string strPennick = SiblingProgram(strModule, "Pennick");
    mwDebugOutput(strPennick);
    mwDebugOutput(strArgument);
    const CSettingsStore store = Store();
    if (!store.SaveSettings(*this)) {
        // Nothing was stored: say so, and leave the association as it is.
        ShowStoreFailure(store);
        return;
    }
    if (m_services.pShell)
        m_services.pShell->StartHidden(strPennick, strArgument);
}
