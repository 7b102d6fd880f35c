// The main window's settings check and send: CheckSettings, fnFileTransfer, Transfer and the
// Confirm Dialog box; portable.
#include "settings_window/marlowick_dlg.h"

#include "app/search_dlg.h"
#include "app/upload_job.h"
#include "resources/resources.h"

bool CMarlowickDlg::CheckSettings() {
    const int nSel = LbGetCurSel(IDC_DEVICE_LIST);
    const int nConfirm = IsDlgButtonChecked(IDC_CONFIRM_DIALOG);
    m_strUserName = GetItemText(IDC_USERNAME);
    m_strPassword = GetItemText(IDC_PASSWORD);
    m_strTargetDevice = GetItemText(IDC_TARGET_DEVICE);
    const std::string strDestination = GetItemText(IDC_DESTINATION);
    if (strDestination.empty()) {
        MessageBoxOk(LoadResString(IDS_BROWSE_FIRST));
        return false;
    }
    m_strRootSharelist = strDestination;
    // One of the two may be empty.
    if (m_strUserName.empty() && m_strPassword.empty()) {
        MessageBoxOk(LoadResString(IDS_ACCOUNT_FIRST));
        return false;
    }
    CSearchDlg check(BUSY_CHECK_ACCOUNT, m_services.pDeviceList, nSel, m_strUserName, m_strPassword,
                     m_services.pJobs);
    if (check.DoModal() == IDCANCEL) {
        MessageBoxOk(LoadResString(IDS_BAD_ACCOUNT));
        return false;
    }
    if (nConfirm == 0 || nConfirm == 1)
        m_nConfirmDialog = nConfirm;
    return true;
}

bool CMarlowickDlg::fnFileTransfer(const std::string& strPath) {
    if (m_nConfirmDialog != 0 && !CheckSettings())
        return false;
    // The worker shares the job until its upload returns; the settings record is not changed.
    const std::shared_ptr<const CUploadJob> pJob = fnBuildUploadJob(*this, m_strTorrentFile);
    if (m_bFileMode) {
        CSearchDlg send(pJob, m_services.pJobs);
        if (send.DoModal() == IDCANCEL) {
            MessageBoxOk(send.m_strMessage);
            return false;
        }
        MessageBoxOk(LoadResString(IDS_TRANSFER_FINISH));
        return true;
    }
    if (m_bQueueMode) {
        RunTransferQueue(*pJob->GetParam(), strPath);
        return false;
    }
    return false;
}

void CMarlowickDlg::OnBnClickedTransfer() {
    m_strUserName = GetItemText(IDC_USERNAME);
    m_strPassword = GetItemText(IDC_PASSWORD);
    if (fnFileTransfer(m_strTorrentFile))
        PostCommand(IDCANCEL);
}

void CMarlowickDlg::OnBnClickedConfirmDialog() {
    const CSettingsStore store = Store();
    // Stored at once, without Set.
    if (!store.SaveConfirmDialog(IsDlgButtonChecked(IDC_CONFIRM_DIALOG) == 1))
        ShowStoreFailure(store);
}
