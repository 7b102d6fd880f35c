// The main window's .torrent association check box and the Set command; portable.
#include "settings_window/marlowick_dlg.h"

#include "platform/debug_output.h"
#include "platform/text.h"
#include "resources/resources.h"

std::string ProgramFolder(const std::string& strModulePath) {
    auto pos = strModulePath.rfind('\\');
    if (pos == std::string::npos)
        pos = strModulePath.rfind('/');
    return pos == std::string::npos ? std::string() : strModulePath.substr(0, pos);
}

namespace {

std::string ModulePath(const CAppServices& services) {
    return services.pShell ? services.pShell->GetModulePath() : std::string();
}

// The helper programs lie beside the program, named as on Windows with ".exe" where the program
// has it, so that the Linux build finds "pennick" beside "marlowick".
std::string HelperPath(const std::string& strModulePath, const char* pszName) {
    const std::string strFolder = ProgramFolder(strModulePath);
    const bool bWindowsNames =
        strModulePath.size() > 4 &&
        GetTextOps().CompareNoCase(strModulePath.substr(strModulePath.size() - 4), ".exe") == 0;
    if (bWindowsNames)
        return strFolder + "\\" + pszName + ".exe";
    std::string strLower(pszName);
    for (char& ch : strLower)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return strFolder + "/" + strLower;
}

} // namespace

void CMarlowickDlg::SetAssociationCaption(bool bActive) {
    SetItemText(IDC_FILE_ASSOCIATION, LoadResString(IDS_FILE_ASSOCIATION) +
                                          LoadResString(bActive ? IDS_ENABLE : IDS_DISABLE));
}

bool CMarlowickDlg::IsFileAssociationActive() {
    const std::string strExpected = HelperPath(ModulePath(m_services), "Arbolet");
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
    const std::string strPennick = HelperPath(strModule, "Pennick");
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
