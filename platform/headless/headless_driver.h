// The test driver of the headless backend: scripted steps, input as a user gives it, virtual time,
// answers to message boxes and the folder browser, and reading windows back; portable.
//
// Constructing a driver makes a headless backend and installs it for the driver's life. Steps
// queued with Then run, one at a time, whenever a modal loop has nothing posted to deliver; they
// are shared by every loop and run in the order queued. A step queued for any loop runs in
// whichever loop is innermost when it comes up; a step queued for one dialog waits (holding back
// the steps behind it) until that dialog is the innermost, so a test can script a window that opens
// a busy dialog of its own without its steps running inside the busy dialog's loop. Input goes to
// the active dialog: the innermost modal one.
#pragma once

#include "platform/headless/headless_ui.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

class CHeadlessDriver {
public:
    CHeadlessDriver();
    CHeadlessDriver(const CHeadlessDriver&) = delete;
    CHeadlessDriver& operator=(const CHeadlessDriver&) = delete;

    CHeadlessUi& Ui() { return m_ui; }
    static constexpr int kStalledResult = CHeadlessUi::kStalledResult;

    // ---- Scripting modal runs
    // Queues a step for the running (or next) modal loop; steps run in the order queued.
    void Then(std::function<void()> fnStep);
    // Queues a step that runs only while dlg is the active dialog.
    void Then(const CDialog& dlg, std::function<void()> fnStep);
    // Queues a step that runs once fnReady answers true (asked whenever the step is next), for a
    // dialog the test cannot name: ThenIn<CMyDlg>(...) runs while such a dialog is active.
    void ThenWhen(std::function<bool()> fnReady, std::function<void()> fnStep);
    template <class TDialog> void ThenIn(std::function<void(TDialog&)> fnStep) {
        ThenWhen([this] { return dynamic_cast<TDialog*>(ActiveDialog()) != nullptr; },
                 [this, fnStep] { fnStep(*dynamic_cast<TDialog*>(ActiveDialog())); });
    }
    std::size_t PendingSteps() const { return m_steps.size(); }
    void SetStallLimit(std::chrono::milliseconds limit) { m_ui.SetStallLimit(limit); }
    bool Stalled() const { return m_ui.Stalled(); }
    // Delivers the messages and work posted so far (and what their handlers post); how many.
    int DeliverPosted() { return m_ui.GetPostQueue()->DeliverAll(); }

    // ---- Time
    // Moves virtual time forward, firing every timer that falls due (see FireTimersUntil).
    void Advance(unsigned nMs) { m_ui.FireTimersUntil(m_ui.GetTickCount() + nMs); }
    std::uint64_t GetTickCount() const { return m_ui.GetTickCount(); }

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
    // The user drags an edge; the dialog's OnSizing answers the rectangle, which then applies.
    bool DragBorder(CSizingEdge edge, CRect rcProposed);
    // Moves the mouse: the active dialog's PreTranslateMessage sees WM_MOUSEMOVE.
    void MoveCursor(CPoint pt);
    // A button press at the cursor (WM_LBUTTONDOWN, WM_RBUTTONDOWN or WM_MBUTTONDOWN).
    void PressMouse(unsigned nButtonMsg);

    // ---- Message boxes: answers are taken in order; without one, OK (Yes for yes/no boxes).
    void AnswerMessageBox(int nAnswer) { m_answers.push_back(nAnswer); }
    const std::vector<CShownMessageBox>& MessageBoxes() const { return m_boxes; }

    // ---- Folder browser: answers are taken in order (a path, or nothing for Cancel); without
    // one, Cancel. Each opening is recorded with its title, start path and account. An answer
    // may also be a step that runs while the browser is open (the user clicks elsewhere
    // meanwhile), then gives the path.
    struct CFolderBrowsing {
        std::string strTitle;
        std::string strStartPath;
        CNetworkAccount account;
    };
    void AnswerFolderBrowser(std::optional<std::string> answer) {
        m_folderAnswers.push_back([answer = std::move(answer)] { return answer; });
    }
    void AnswerFolderBrowser(std::function<std::optional<std::string>()> fnAnswer) {
        m_folderAnswers.push_back(std::move(fnAnswer));
    }
    const std::vector<CFolderBrowsing>& FolderBrowsers() const { return m_folderBrowsers; }

    // ---- The window's state outside the dialog's own calls
    void SetMinimized(const CUiWindow& wnd, bool bMinimized);
    // Paints a dialog's client area now and returns what it drew (nothing: default painting).
    std::vector<CPaintOp> PaintDialog(CDialog& dlg);

    // ---- Reading back
    CDialog* ActiveDialog() const;
    bool IsRunning(const CDialog& dlg) const;
    std::string NavigatedUrl(const CDialog& dlg, int nId) const;
    int IconOf(const CDialog& dlg) const;
    bool IsTopmost(const CUiWindow& wnd) const;
    CRegionShape RegionOf(const CPopupWindow& wnd) const;
    // Paints the popup now and returns what it drew.
    std::vector<CPaintOp> Paint(CPopupWindow& wnd);
    CWindowRef WindowFromPoint(CPoint pt) const { return m_ui.WindowFromPoint(pt); }
    CSize MeasureText(const std::string& strText, CUiFont font) const {
        return m_ui.MeasureText(strText, font);
    }
    void SetScreenSize(CSize size) { m_ui.SetScreenSize(size); }
    CPoint GetCursorPos() const { return m_ui.GetCursorPos(); }

private:
    bool RunNextStep();

    CHeadlessUi m_ui;
    struct CStep {
        std::function<bool()> fnReady; // empty: any loop
        std::function<void()> fn;
    };
    std::deque<CStep> m_steps;
    std::deque<int> m_answers;
    std::vector<CShownMessageBox> m_boxes;
    std::deque<std::function<std::optional<std::string>()>> m_folderAnswers;
    std::vector<CFolderBrowsing> m_folderBrowsers;
};
