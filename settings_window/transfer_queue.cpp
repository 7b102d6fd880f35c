// The main window's way into the transfer queue window, in queue mode; portable.
#include "settings_window/marlowick_dlg.h"

void CMarlowickDlg::RunTransferQueue(const NAS_BTDOWNLOAD_PARAM& /*job*/,
                                     const std::string& /*strPath*/) {}
