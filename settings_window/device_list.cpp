// The main window's device list: Refresh, and the choice of the target device; portable.
#include "settings_window/marlowick_dlg.h"

#include "app/search_dlg.h"
#include "discovery/device_list.h"
#include "resources/resources.h"

void CMarlowickDlg::LookUpSavedEntry(const std::string& strName) {
    for (std::size_t j = 0; j < m_arrSavedEntries.size(); ++j) {
        const CSavedEntry& entry = m_arrSavedEntries[j];
        if (m_text.CompareNoCase(entry.m_strDevice, strName) != 0)
            continue;
        SetItemText(IDC_DESTINATION, entry.m_strRootShareList);
        SetItemText(IDC_USERNAME, entry.m_strUserName);
        SetItemText(IDC_PASSWORD, entry.m_strPassword);
        m_nSavedIndex = static_cast<int>(j);
        m_strUserName = entry.m_strUserName;
        m_strPassword = entry.m_strPassword;
        m_infoTip.AddTool(Ref(IDC_DESTINATION), entry.m_strRootShareList);
        return;
    }
    m_nSavedIndex = -1;
}

void CMarlowickDlg::OpenDevicePath(const std::string& strName) {
    if (m_services.pShell)
        m_services.pShell->OpenInBackground("\\\\" + strName,
                                            {GetItemText(IDC_USERNAME), GetItemText(IDC_PASSWORD)});
}

void CMarlowickDlg::OnRefresh() {
    LbResetContent(IDC_DEVICE_LIST);
    m_strlistDeviceIP.clear();
    m_infoTip.RemoveTool(Ref(IDC_TARGET_DEVICE));

    CDeviceList* pList = m_services.pDeviceList;
    CSearchDlg search(BUSY_SEARCH, pList, 0, "", "", m_services.pJobs);
    search.DoModal();
    if (!pList)
        return;
    for (int i = 0; i < pList->GetCount(); ++i) {
        const NAS_DEVICE_INFO* pDevice = pList->GetAt(i);
        LbInsertString(IDC_DEVICE_LIST, i, DeviceNameText(*pDevice));
        m_strlistDeviceIP.push_back(IPv4Text(pDevice->ip));
    }
    if (pList->GetCount() == 0)
        return;

    if (!m_bFileMode) {
        SetFocusItem(IDC_DEVICE_LIST);
        LbSetCurSel(IDC_DEVICE_LIST, 0);
        const std::string strName = LbGetText(IDC_DEVICE_LIST, LbGetCurSel(IDC_DEVICE_LIST));
        SetItemText(IDC_TARGET_DEVICE, strName);
        m_strTargetName = strName;
        m_infoTip.AddTool(Ref(IDC_TARGET_DEVICE), strName);
        m_strIP = m_strlistDeviceIP[0];
        LookUpSavedEntry(strName);
        if (!m_bMonitorMode)
            OpenDevicePath(strName);
        // A page on screen follows the device Refresh chose, so it is never left blank.
        if (m_bMonitorMode || m_bShowDevicePage)
            NavigateDevicePage();
        return;
    }

    // File mode: the device was fixed by the stored settings; find it by its address.
    bool bFound = false;
    for (std::size_t k = 0; k < m_strlistDeviceIP.size(); ++k) {
        if (m_text.CompareNoCase(m_strlistDeviceIP[k], m_strIP) != 0)
            continue;
        bFound = true;
        SetFocusItem(IDC_DEVICE_LIST);
        LbSetCurSel(IDC_DEVICE_LIST, static_cast<int>(k));
        const std::string strName = LbGetText(IDC_DEVICE_LIST, static_cast<int>(k));
        SetItemText(IDC_TARGET_DEVICE, strName);
        m_infoTip.AddTool(Ref(IDC_TARGET_DEVICE), strName);
        m_strTargetName = strName;
        m_infoTip.RemoveTool(Ref(IDC_DESTINATION));
        m_strIP = m_strlistDeviceIP[k];
        OpenDevicePath(strName);
    }
    if (!bFound) {
        m_strUserName.clear();
        m_strPassword.clear();
        m_strIP.clear();
        m_strRootSharelist.clear();
        for (int nId : {IDC_USERNAME, IDC_PASSWORD, IDC_DESTINATION, IDC_TARGET_DEVICE})
            SetItemText(nId, "");
    }
}

void CMarlowickDlg::OnSelchangeDeviceList() {
    const int nSel = LbGetCurSel(IDC_DEVICE_LIST);
    if (nSel < 0 || nSel >= static_cast<int>(m_strlistDeviceIP.size()))
        return;
    const std::string strTarget = GetItemText(IDC_TARGET_DEVICE);
    const std::string strName = LbGetText(IDC_DEVICE_LIST, nSel);
    const std::string& strAddress = m_strlistDeviceIP[static_cast<std::size_t>(nSel)];
    // Only the same device again changes nothing; another device of the same name, at another
    // address, becomes the target like any other.
    if (m_text.CompareNoCase(strName, strTarget) == 0 &&
        m_text.CompareNoCase(strAddress, m_strIP) == 0)
        return;

    SetItemText(IDC_TARGET_DEVICE, strName);
    m_infoTip.AddTool(Ref(IDC_TARGET_DEVICE), strName);
    m_strTargetName = strName;
    for (int nId : {IDC_DESTINATION, IDC_USERNAME, IDC_PASSWORD})
        SetItemText(nId, "");
    m_strUserName.clear();
    m_strPassword.clear();
    m_infoTip.RemoveTool(Ref(IDC_DESTINATION));
    LookUpSavedEntry(strName);
    m_strIP = strAddress;
    if (!m_bMonitorMode)
        OpenDevicePath(strName);
    // Whether the page shows or not.
    NavigateDevicePage();
}
