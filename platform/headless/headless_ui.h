// The headless ui backend: windows kept as data, virtual time, and drivers for tests; portable.
//
// Nothing is drawn. Every window is a record that tests read back; input comes from the driver
// calls below; time moves only when a test advances it, so timers are exact and repeatable.
//
// Modal runs. DoModal on the UI thread runs the headless loop, which repeats:
//   1. deliver every posted message, oldest first;
//   2. when nothing is posted, run the next scripted step (Then), if any;
//   3. when no step is left either, wait (on a condition variable, never spinning) for a post
//      from another thread.
// A modal run that waits longer than the stall limit (real time) ends with kStalledResult and
// sets Stalled(), so a test that forgets to finish a dialog fails instead of hanging.
// Steps are shared by every loop and run in the order queued. A step queued for any loop runs in
// whichever loop is innermost when it comes up; a step queued for one dialog waits (holding back
// the steps behind it) until that dialog is the innermost, so a test can script a window that
// opens a busy dialog of its own without its steps running inside the busy dialog's loop.
// Driver calls act on the active dialog: the innermost modal one.
//
// Fixed metrics, so that tests can assert pixels:
//   - fonts: every character of a font is the same width; MS Sans Serif and MS Shell Dlg 8 pt are
//     6 x 13 pixels, System 10 pt 8 x 16, other fonts (point size * 4 / 3, rounded) high and
//     half as wide; the default GUI font is 6 x 13. Dialog base units follow from these by the
//     dialog manager's rule (for these fonts: the character width and height).
//   - window frame: kFrame pixels on every side of a dialog with a caption, a modal frame or a
//     sizing border, and a caption bar of kCaption pixels under the top frame.
//   - a dialog opens with its window at the screen origin; the screen is 1280 x 1024.
#pragma once

#include "platform/ui/dialog.h"
#include "platform/ui/ui_backend.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CHeadlessDialog;
class CHeadlessPopup;

// One message box as the headless backend showed it.
struct CShownMessageBox {
    std::string strText;
    std::string strCaption;
    unsigned nType = 0;
    std::string strOwnerCaption; // caption of the owner window; empty without one
    int nAnswer = 0;
};

// One drawing call made while a popup painted.
struct CPaintOp {
    enum class Kind { Fill, Frame, Text, Icon } kind = Kind::Fill;
    CRegionShape shape;
    CSysColor color = CSysColor::Window;
    CSize size; // frame width and height; icon size
    CRect rc;   // text rectangle
    CPoint pt;  // icon place
    std::string strText;
    int nIconId = 0;
};

class CHeadlessUi final : public CUiBackend {
public:
    static constexpr int kFrame = 3;
    static constexpr int kCaption = 20;
    static constexpr int kStalledResult = -1;

    CHeadlessUi();
    ~CHeadlessUi() override;

    // ---- CUiBackend
    std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                  CUiWindow* pParent) override;
    std::unique_ptr<CPopupPeer> CreatePopupPeer(CPopupWindow& owner,
                                                CUiWindow* pOwnerWindow) override;
    std::shared_ptr<CPostQueue> GetPostQueue() override { return m_pQueue; }
    int MessageBox(CUiWindow* pOwner, const std::string& strText, const std::string& strCaption,
                   unsigned nType) override;
    std::optional<std::string> BrowseForFolder(CUiWindow* pOwner, const std::string& strTitle,
                                               const std::string& strStartPath) override;
    CSize GetScreenSize() const override { return m_sizeScreen; }
    CSize GetIconSize() const override { return {32, 32}; }
    CPoint GetCursorPos() const override { return m_ptCursor; }
    CWindowRef WindowFromPoint(CPoint pt) const override;
    CSize MeasureText(const std::string& strText, CUiFont font) const override;
    CDialogBaseUnits GetBaseUnits(const std::string& strFace, int nPoints) const override;
    std::uint64_t GetTickCount() const override { return m_nNow; }

    // ---- Scripting modal runs
    // Queues a step for the running (or next) modal loop; steps run in the order queued.
    void Then(std::function<void()> fnStep);
    // Queues a step that runs only while dlg is the active dialog.
    void Then(const CDialog& dlg, std::function<void()> fnStep);
    std::size_t PendingSteps() const { return m_steps.size(); }
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }
    bool Stalled() const { return m_bStalled; }
    // Delivers the messages posted so far (and those their handlers post); returns how many.
    int DeliverPosted();

    // ---- Time
    // Moves virtual time forward, firing every timer that falls due in order of its due time
    // (each period of a periodic timer fires once; timers due together fire in the order they
    // were set) and delivering posted messages after each.
    void Advance(unsigned nMs);

    // ---- Input to the active dialog. Each returns false when the control is missing, hidden or
    // disabled (or, for typing, read-only), as a user could not do it either.
    bool Click(int nId);
    bool Type(int nId, const std::string& strText);
    bool SelectLine(int nId, int nIndex); // list box: LBN_SELCHANGE when it notifies
    bool DoubleClickLine(int nId, int nIndex);
    bool SelectRow(int nId, int nRow); // list view
    bool PressEscape();
    bool PressEnter();
    bool CloseWindow(); // the close box or Alt+F4
    // The user drags an edge; the dialog's OnSizing adjusts the rectangle, which then applies.
    bool DragBorder(CSizingEdge edge, CRect rcProposed);
    // Moves the mouse: the active dialog's PreTranslateMessage sees WM_MOUSEMOVE.
    void MoveCursor(CPoint pt);
    // A button press at the cursor (WM_LBUTTONDOWN, WM_RBUTTONDOWN or WM_MBUTTONDOWN).
    void PressMouse(unsigned nButtonMsg);

    // ---- Message boxes: answers are taken in order; without one, OK (Yes for yes/no boxes).
    void AnswerMessageBox(int nAnswer) { m_answers.push_back(nAnswer); }
    const std::vector<CShownMessageBox>& MessageBoxes() const { return m_boxes; }

    // ---- Folder browser: answers are taken in order (a path, or nothing for Cancel); without
    // one, Cancel. Each opening is recorded with its title and start path.
    void AnswerFolderBrowser(std::optional<std::string> answer) {
        m_folderAnswers.push_back(std::move(answer));
    }
    const std::vector<std::pair<std::string, std::string>>& FolderBrowsers() const {
        return m_folderBrowsers;
    }

    // ---- Reading back
    CDialog* ActiveDialog() const;
    bool IsRunning(const CDialog& dlg) const;
    std::string NavigatedUrl(const CDialog& dlg, int nId) const;
    int IconOf(const CDialog& dlg) const;
    bool IsTopmost(const CUiWindow& wnd) const;
    CRegionShape RegionOf(const CPopupWindow& wnd) const;
    // Paints the popup now and returns what it drew.
    std::vector<CPaintOp> Paint(CPopupWindow& wnd);
    void SetScreenSize(CSize size) { m_sizeScreen = size; }

private:
    friend class CHeadlessDialog;
    friend class CHeadlessPopup;
    struct CTimer {
        const CUiWindow* pWindow;
        std::uintptr_t nId;
        unsigned nPeriod;
        std::uint64_t nDue;
        std::uint64_t nSeq;
    };

    void SetTimer(const CUiWindow* pWnd, std::uintptr_t nId, unsigned nElapse);
    bool KillTimer(const CUiWindow* pWnd, std::uintptr_t nId);
    void ForgetWindow(const CUiWindow* pWnd);
    int RunLoop(CHeadlessDialog& dlg);
    bool RunNextStep();
    bool SendKey(int nKey);
    CHeadlessDialog* Active() const;
    CHeadlessDialog* PeerOf(const CDialog& dlg) const;
    CHeadlessPopup* PopupOf(const CUiWindow& wnd) const;

    std::shared_ptr<CPostQueue> m_pQueue;
    struct CStep {
        const CDialog* pDialog; // null: any loop
        std::function<void()> fn;
    };
    std::deque<CStep> m_steps;
    std::vector<CHeadlessDialog*> m_dialogs; // live dialogs, in creation order
    std::vector<CHeadlessDialog*> m_modal;   // running modal loops, innermost last
    std::vector<CHeadlessPopup*> m_popups;
    std::vector<CTimer> m_timers;
    std::uint64_t m_nNow = 0;
    std::uint64_t m_nTimerSeq = 0;
    std::deque<int> m_answers;
    std::vector<CShownMessageBox> m_boxes;
    std::deque<std::optional<std::string>> m_folderAnswers;
    std::vector<std::pair<std::string, std::string>> m_folderBrowsers;
    CPoint m_ptCursor;
    CSize m_sizeScreen{1280, 1024};
    std::chrono::milliseconds m_stallLimit{20000};
    bool m_bStalled = false;
    CUiBackend* m_pPrevious = nullptr;
};
