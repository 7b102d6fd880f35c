// The main window's way into the transfer queue window, in queue mode; portable.
#include "settings_window/marlowick_dlg.h"

#include "transfer_queue/transfer_dlg.h"

void CMarlowickDlg::RunTransferQueue(const NAS_BTDOWNLOAD_PARAM& job, const std::string& strPath) {
    // The window builds its own jobs from the connection; the record itself is not passed on.
    CTransferDlg queue(m_services.pJobs, m_services.pRegistry, m_services.strSettingsKey);
    queue.m_strDeviceIP = m_strIP;
    queue.m_strUser = m_strUserName;
    queue.m_strPassword = m_strPassword;
    queue.m_strShareList = job.share_list;
    queue.m_strSubDir = job.subdir;
    queue.AddTransferFile(strPath);
    queue.DoModal();
}
