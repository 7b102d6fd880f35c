// Shows one window of the Win32 backend for a screenshot: a probe dialog of a template with some
// content, or the balloon popup over the main window; Windows test tool of
// scripts/screenshots-wine.
//
// Usage: win32_screens main|busy|transfer|balloon READY_FILE DONE_FILE. Once the window is shown
// and painted, the tool writes "x y width height" (the part of the screen to take) to READY_FILE,
// then waits for DONE_FILE to exist (at most 30 s) and ends.
#include "platform/win32/ui_win32.h"

#include "platform/ui/dialog.h"
#include "resources/resources.h"

#include <fstream>
#include <string>

namespace {

// The info-tip's shape for a text of tw x th pixels: the body, and the tail below at the right.
CRegionShape BalloonShape(CSize text) {
    const int w = text.cx + 24;
    const int h = text.cy + 20;
    return {{0, 0, w, h}, {12, 10}, {{w - 12, h - 10}, {w - 12, h + 15}, {w - 37, h - 10}}};
}

class CBalloon : public CPopupWindow {
public:
    std::string m_strText;
    CRegionShape m_shape;
    bool OnPaint(CPaintSurface& surface) override {
        surface.FillRegion(m_shape, CSysColor::Window);
        surface.FrameRegion(m_shape, CSysColor::ScrollBar, 3, 3);
        surface.FrameRegion(m_shape, CSysColor::WindowText, 1, 1);
        const CRect rc = GetClientRect();
        surface.DrawTextIn({12, 10, rc.right, rc.bottom}, m_strText, CUiFont::DefaultGui);
        return true;
    }
};

class CShotDlg : public CDialog {
public:
    CShotDlg(int nTemplate, std::string strWhat, std::string strReady, std::string strDone)
        : CDialog(GetDialogTemplate(nTemplate)), m_strWhat(std::move(strWhat)),
          m_strReady(std::move(strReady)), m_strDone(std::move(strDone)) {}

protected:
    bool OnInitDialog() override {
        SetIcon(IDR_MAINFRAME);
        if (Template().nId == IDD_MARLOWICK_DIALOG) {
            for (const char* psz : {"mw-test", "NAS-LIVING", "NAS-OFFICE"})
                LbAddString(IDC_DEVICE_LIST, psz);
            LbSetCurSel(IDC_DEVICE_LIST, 0);
            SetItemText(IDC_USERNAME, "admin");
            SetItemText(IDC_PASSWORD, "secret");
            SetItemText(IDC_TARGET_DEVICE, "mw-test");
            SetItemText(IDC_DESTINATION, "public\\bt");
            CheckDlgButton(IDC_CONFIRM_DIALOG, 1);
            // The normal layout: Transfer lies under Set and only one of them shows.
            ShowItem(IDC_TRANSFER, false);
        } else if (Template().nId == IDD_TRANSFER_DIALOG) {
            LvInsertColumn(IDC_TRANSFER_LIST, 0, LoadResString(IDS_COLUMN_FILE_NAME), 150);
            LvInsertColumn(IDC_TRANSFER_LIST, 1, LoadResString(IDS_COLUMN_STATUS), 60);
            const char* rows[][2] = {{"debian-12.iso.torrent", "Done"},
                                     {"holiday.mkv.torrent", "Transferring"},
                                     {"notes.torrent", "Waiting"}};
            for (int i = 0; i < 3; ++i) {
                LvInsertItem(IDC_TRANSFER_LIST, i, rows[i][0]);
                LvSetItemText(IDC_TRANSFER_LIST, i, 1, rows[i][1]);
            }
            LvSetSelection(IDC_TRANSFER_LIST, 1);
        } else if (Template().nId == IDD_BUSY_DIALOG) {
            SetCaption(LoadResString(IDS_APP_TITLE));
            SetItemText(IDC_BUSY_STATUS, LoadResString(IDS_SEARCH_DEVICE));
        }
        if (m_strWhat == "balloon") {
            // Room on the left for the balloon, which hangs left of its tail.
            const CRect rc = GetWindowRect();
            MoveWindow({200, 100, 200 + rc.Width(), 100 + rc.Height()});
            // Pointing at the destination box, as when the cursor rests on it.
            m_tip.m_strText = GetItemText(IDC_DESTINATION) + "\\complete path of the folder";
            m_tip.m_shape =
                BalloonShape(GetUiBackend().MeasureText(m_tip.m_strText, CUiFont::DefaultGui));
            m_tip.CreatePopup(this);
            m_tip.SetRegion(m_tip.m_shape);
        }
        SetTimer(1, 700);
        return true;
    }

    void OnTimer(std::uintptr_t nId) override {
        if (nId == 1) {
            KillTimer(1);
            CRect rc = GetWindowRect();
            if (m_tip.IsWindow() || m_strWhat == "balloon") {
                const CRect rcBox = GetItemRect(IDC_DESTINATION);
                const CPoint ptTail{rcBox.left + 40, rcBox.top + 8};
                const CRect& body = m_tip.m_shape.rcRound;
                const int w = body.Width();
                const int h = body.Height() + 25;
                const CRect rcTip = CRect::FromXywh(ptTail.x - w + 12, ptTail.y - h + 10, w, h);
                m_tip.ShowAt(rcTip);
                m_tip.Invalidate(true);
                rc = {rcTip.left - 30, rcTip.top - 20, rcTip.right + 30, rcTip.bottom + 40};
            }
            std::ofstream(m_strReady)
                << rc.left << " " << rc.top << " " << rc.Width() << " " << rc.Height() << "\n";
            SetTimer(2, 100);
        } else if (std::ifstream(m_strDone) || ++m_nPolls > 300) {
            EndDialog(IDOK);
        }
    }

private:
    std::string m_strWhat;
    std::string m_strReady;
    std::string m_strDone;
    CBalloon m_tip;
    int m_nPolls = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const std::string strWhat = argv[1];
    const int nTemplate = strWhat == "busy"       ? IDD_BUSY_DIALOG
                          : strWhat == "transfer" ? IDD_TRANSFER_DIALOG
                                                  : IDD_MARLOWICK_DIALOG;
    auto pUi = CreateWin32Ui();
    SetUiBackend(pUi.get());
    int nResult = 0;
    {
        CShotDlg dlg(nTemplate, strWhat, argv[2], argv[3]);
        nResult = dlg.DoModal();
    }
    SetUiBackend(nullptr);
    return nResult == IDOK ? 0 : 1;
}
