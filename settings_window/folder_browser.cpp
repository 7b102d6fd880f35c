// The main window's destination folder browser; portable.
#include "settings_window/marlowick_dlg.h"

#include "platform/text.h"
#include "resources/resources.h"

std::optional<std::string> DestinationFromFolder(const std::string& strRoot,
                                                 const std::string& strPath, const CTextOps& text) {
    // A root of the two backslashes alone names no device: nothing lies below it.
    if (strRoot.size() <= 2)
        return std::nullopt;
    // The device's node and a backslash, as the path begins, whatever the letter case; the
    // destination keeps the path's own case. \\NAS2\share is not below \\NAS.
    const std::string strPrefix = strRoot + "\\";
    if (strPath.size() <= strPrefix.size())
        return std::nullopt;
    if (text.CompareNoCase(strPath.substr(0, strPrefix.size()), strPrefix) != 0)
        return std::nullopt;
    return strPath.substr(strPrefix.size());
}

void CMarlowickDlg::OnBnClickedBrowse() {
    // The browser has no owner, so this window stays usable meanwhile: one browser at a time.
    if (m_bBrowsing)
        return;
    BrowseDestination();
}

int CMarlowickDlg::BrowseDestination() {
    for (;;) {
        m_bBrowsing = true;
        const std::string strRoot = "\\\\" + m_strTargetName;
        const auto chosen =
            GetUiBackend().BrowseForFolder(nullptr, LoadResString(IDS_SELECT_FOLDER), strRoot,
                                           {GetItemText(IDC_USERNAME), GetItemText(IDC_PASSWORD)});
        if (!chosen) {
            m_bBrowsing = false;
            return 2;
        }
        if (const auto destination = DestinationFromFolder(strRoot, *chosen, m_text)) {
            m_bBrowsing = false;
            SetItemText(IDC_DESTINATION, *destination);
            m_infoTip.AddTool(Ref(IDC_DESTINATION), *destination);
            m_strRootSharelist = *destination;
            m_strSubFolder.clear();
            return 1;
        }
        ShowMessageBox(LoadResString(IDS_SELECT_DEVICE_FOLDER), LoadResString(IDS_APP_TITLE),
                       MB_OK);
    }
}
