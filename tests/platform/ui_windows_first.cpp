// The layer's headers after <windows.h>: its names must not turn into the system's macros; Windows.
#include <windows.h>

#include "platform/headless/headless_driver.h"
#include "platform/ui/dialog.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

// Defined in ui_windows_last.cpp, which includes <windows.h> after the layer.
std::string UseLayerWithWindowsLast(CDialog& dlg);

namespace {

class CNamesDlg : public CDialog {
public:
    CNamesDlg() : CDialog(GetDialogTemplate(IDD_MARLOWICK_DIALOG)) {}
};

TEST(WindowsNames, TheLayerLinksAlikeWhateverTheIncludeOrder) {
    CHeadlessDriver ui;
    CNamesDlg dlg;
    ui.Then([&] {
        dlg.SetCaption("first");
        dlg.SetItemText(IDC_USERNAME, "admin");
        EXPECT_EQ(dlg.ShowMessageBox("text", "caption"), IDOK);
        EXPECT_TRUE(dlg.Post(WM_USER + 1));
        // The other order, through the same members.
        EXPECT_EQ(UseLayerWithWindowsLast(dlg), "first admin");
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

} // namespace
