// The layer's headers before <windows.h>, which then defines its macros; Windows.
#include "platform/ui/dialog.h"
#include "resources/resources.h"

#include <windows.h>

std::string UseLayerWithWindowsLast(CDialog& dlg) {
    dlg.Post(WM_USER + 2);
    dlg.ShowMessageBox("text", "caption", MB_OK);
    return dlg.GetCaption() + " " + dlg.GetItemText(IDC_USERNAME);
}
