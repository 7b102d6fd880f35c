// Shows each dialog template as a probe dialog with sample content, and the balloon-shaped popup,
// and takes a PNG of each with ImageMagick's import; used by scripts/screenshots-gtk under Xvfb.
// Linux test tool. Usage: gtk_screens OUTPUT_FOLDER
#include "tests/platform/gtk/gtk_test_support.h"

#include "resources/resources.h"

#include <cstdio>
#include <string>

namespace {

std::string g_strOut;
int g_nFailures = 0;

// The screen's pixels of rc into OUTPUT_FOLDER/name.png.
void Shoot(const std::string& strName, const CRect& rc) {
    mwtest::PumpFor(400); // painting, the web view's first frame
    const std::string strGeometry = std::to_string(rc.Width()) + "x" + std::to_string(rc.Height()) +
                                    "+" + std::to_string(rc.left) + "+" + std::to_string(rc.top);
    const std::string strFile = g_strOut + "/" + strName + ".png";
    const char* argv[] = {"import",  "-window",       "root", "-crop", strGeometry.c_str(),
                          "+repage", strFile.c_str(), nullptr};
    gint nStatus = 0;
    GError* pError = nullptr;
    if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                      nullptr, nullptr, nullptr, &nStatus, &pError) ||
        nStatus != 0) {
        std::fprintf(stderr, "gtk_screens: import failed for %s: %s\n", strName.c_str(),
                     pError ? pError->message : "exit status");
        g_clear_error(&pError);
        ++g_nFailures;
        return;
    }
    std::printf("%s\n", strFile.c_str());
}

class CShotDlg : public CDialog {
public:
    CShotDlg(int nTemplate, std::string strName, std::function<void(CShotDlg&)> fnFill)
        : CDialog(GetDialogTemplate(nTemplate)), m_strName(std::move(strName)),
          m_fnFill(std::move(fnFill)) {}

protected:
    bool OnInitDialog() override {
        MoveWindow(CRect::FromXywh(20, 20, GetWindowRect().Width(), GetWindowRect().Height()));
        if (m_fnFill)
            m_fnFill(*this);
        mwtest::RunSoon([this] {
            mwtest::PumpUntil([&] { return IsWindowVisible(); });
            if (m_fnShoot)
                m_fnShoot(*this);
            else
                Shoot(m_strName, GetWindowRect());
            EndDialog(IDOK);
        });
        return true;
    }

public:
    std::string m_strName;
    std::function<void(CShotDlg&)> m_fnFill;
    std::function<void(CShotDlg&)> m_fnShoot;
};

// The balloon: rounded body, tail at the bottom right, text and icon.
class CShotTip : public CPopupWindow {
public:
    CRegionShape m_shape{{0, 0, 200, 46}, {12, 10}, {{182, 34}, {188, 62}, {160, 34}}};
    bool OnPaint(CPaintSurface& surface) override {
        surface.FillRegion(m_shape, CSysColor::Window);
        surface.FrameRegion(m_shape, CSysColor::WindowText, 1, 1);
        surface.DrawIcon({8, 7}, IDR_MAINFRAME, {32, 32});
        surface.DrawTextIn({48, 6, 196, 44}, "Select a device to\nsee its settings.",
                           CUiFont::DefaultGui);
        return true;
    }
};

void FillMain(CShotDlg& dlg) {
    dlg.SetIcon(IDR_MAINFRAME);
    for (const char* pName : {"NAS-Office", "nas-basement", "Backup 2"})
        dlg.LbAddString(IDC_DEVICE_LIST, pName);
    dlg.LbSetCurSel(IDC_DEVICE_LIST, 1);
    dlg.SetItemText(IDC_USERNAME, "admin");
    dlg.SetItemText(IDC_PASSWORD, "secret");
    dlg.SetItemText(IDC_TARGET_DEVICE, "nas-basement");
    dlg.SetItemReadOnly(IDC_TARGET_DEVICE, true);
    dlg.SetItemText(IDC_DESTINATION, "\\\\nas-basement\\public\\torrents");
    dlg.CheckDlgButton(IDC_CONFIRM_DIALOG, 1);
    dlg.ShowItem(IDC_TRANSFER, false);
    dlg.SetFocusItem(IDC_DEVICE_LIST);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gtk_screens OUTPUT_FOLDER\n");
        return 2;
    }
    g_strOut = argv[1];
    mwtest::CGtkScope ui;
    if (!ui) {
        std::fprintf(stderr, "gtk_screens: no display\n");
        return 1;
    }
    {
        // The settings window as the template lays it out: every control, the page blank.
        CShotDlg dlg(IDD_MARLOWICK_DIALOG, "102-main-template", nullptr);
        dlg.DoModal();
    }
    {
        // With content, the page hidden and the window narrowed to the settings, as the
        // program's normal layout shows it.
        CShotDlg dlg(IDD_MARLOWICK_DIALOG, "102-main-filled", FillMain);
        dlg.m_fnFill = [](CShotDlg& d) {
            FillMain(d);
            d.ShowItem(IDC_WEB_BROWSER, false);
            const CDialogBaseUnits base = d.GetBaseUnits();
            const CRect rc = d.GetWindowRect();
            d.MoveWindow({rc.left, rc.top, rc.left + base.ToPixelsX(170), rc.bottom});
        };
        dlg.DoModal();
    }
    {
        // The page shown: WebKit drawing under Xvfb (without a GPU, without compositing).
        CShotDlg dlg(IDD_MARLOWICK_DIALOG, "102-main-page", [](CShotDlg& d) {
            FillMain(d);
            d.Navigate(IDC_WEB_BROWSER,
                       "data:text/html,<html><body style='font-family:sans-serif'>"
                       "<h1>Download jobs on nas-basement</h1><table border='1'>"
                       "<tr><th>File</th><th>Share</th></tr><tr><td>debian-12.iso.torrent</td>"
                       "<td>public</td></tr></table><p>1 job(s)</p></body></html>");
        });
        dlg.m_fnShoot = [](CShotDlg& d) {
            mwtest::PumpFor(1500);
            Shoot("102-main-page", d.GetWindowRect());
        };
        dlg.DoModal();
    }
    {
        CShotDlg dlg(IDD_BUSY_DIALOG, "103-busy", [](CShotDlg& d) {
            d.SetCaption(LoadResString(IDS_APP_TITLE));
            d.SetItemText(IDC_BUSY_STATUS, LoadResString(IDS_SEARCH_DEVICE));
        });
        dlg.DoModal();
    }
    {
        CShotDlg dlg(IDD_TRANSFER_DIALOG, "139-transfer", [](CShotDlg& d) {
            d.LvInsertColumn(IDC_TRANSFER_LIST, 0, LoadResString(IDS_COLUMN_FILE_NAME), 150);
            d.LvInsertColumn(IDC_TRANSFER_LIST, 1, LoadResString(IDS_COLUMN_STATUS), 70);
            const char* rows[][2] = {{"ubuntu-24.04.torrent", "Done"},
                                     {"debian-12.iso.torrent", "Transferring"},
                                     {"fedora-40.torrent", "Waiting"}};
            for (int i = 0; i < 3; ++i) {
                d.LvInsertItem(IDC_TRANSFER_LIST, i, rows[i][0]);
                d.LvSetItemText(IDC_TRANSFER_LIST, i, 1, rows[i][1]);
            }
            d.LvSetSelection(IDC_TRANSFER_LIST, 1);
        });
        dlg.DoModal();
    }
    {
        // The balloon over the settings window, its tail at a control.
        CShotTip tip;
        CShotDlg dlg(IDD_MARLOWICK_DIALOG, "balloon", FillMain);
        dlg.m_fnShoot = [&](CShotDlg& d) {
            const CRect rcEdit = d.GetItemRect(IDC_BROWSE);
            tip.CreatePopup(&d);
            tip.SetRegion(tip.m_shape);
            const CPoint pt{rcEdit.left + rcEdit.Width() / 2, rcEdit.top + rcEdit.Height() / 2};
            tip.ShowAt(CRect::FromXywh(pt.x - 188, pt.y - 62, 201, 63));
            const CRect rc = d.GetWindowRect();
            Shoot("balloon", {rc.left, rc.top, rc.left + 420, rc.bottom});
            tip.DestroyWindow();
        };
        dlg.DoModal();
    }
    return g_nFailures == 0 ? 0 : 1;
}
