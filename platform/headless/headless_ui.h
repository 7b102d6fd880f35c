// The headless ui backend: windows kept as data, fixed metrics and virtual time; portable. This is
// the reference backend: the Win32 and GTK backends do what it does, with real windows.
//
// Nothing is drawn. Every window is a record (platform/headless/headless_windows.h); input comes
// from a driver (platform/headless/headless_driver.h, for tests); time moves only when the driver
// advances it, so timers are exact and repeatable.
//
// Modal runs. RunModal runs the headless loop, which repeats:
//   1. deliver every posted message and work item, oldest first;
//   2. when nothing is posted, let the idle handler act (the driver runs its next scripted step);
//   3. when it does nothing either, wait (on a condition variable, never spinning) for a post
//      from another thread.
// A modal run that waits longer than the stall limit (real time) ends with kStalledResult and
// sets Stalled(), so a test that forgets to finish a dialog fails instead of hanging; in real-time
// mode (SetRealTime) it waits for its timers instead.
//
// Fixed metrics, so that tests can assert pixels:
//   - fonts: every character of a font is the same width; MS Sans Serif and MS Shell Dlg 8 pt are
//     6 x 13 pixels, System 10 pt 8 x 16, other fonts (point size * 4 / 3, rounded) high and
//     half as wide; the default GUI font is 6 x 13. Dialog base units follow from these by the
//     dialog manager's rule (for these fonts: the character width and height). A test may give
//     the default GUI font another cell (SetUiFontCell).
//   - window frame: kFrame pixels on every side of a dialog with a caption, a modal frame or a
//     sizing border, and a caption bar of kCaption pixels under the top frame.
//   - a dialog opens with its window at the screen origin; the screen is 1280 x 1024.
//
// Messages from other processes: served only when SetServeRemote(true), so that tests of windows
// that serve their caption never meet each other (or the user's running program) by accident.
#pragma once

#include "platform/headless/headless_windows.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui_backend.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One message box as the headless backend showed it.
struct CShownMessageBox {
    std::string strText;
    std::string strCaption;
    unsigned nType = 0;
    std::string strOwnerCaption; // caption of the owner window; empty without one
    int nAnswer = 0;
};

class CHeadlessUi final : public CUiBackend {
public:
    static constexpr int kFrame = 3;
    static constexpr int kCaption = 20;
    static constexpr int kStalledResult = -1;

    // Installs itself as the process's backend; the destructor puts the previous one back.
    CHeadlessUi();
    ~CHeadlessUi() override;

    // ---- CUiBackend
    std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                  CUiWindow* pParent) override;
    std::unique_ptr<CPopupPeer> CreatePopupPeer(CPopupWindow& owner,
                                                CUiWindow* pOwnerWindow) override;
    std::shared_ptr<CPostQueue> GetPostQueue() override { return m_pQueue; }
    int ShowMessageBox(CUiWindow* pOwner, const std::string& strText, const std::string& strCaption,
                       unsigned nType) override;
    std::optional<std::string> BrowseForFolder(CUiWindow* pOwner, const std::string& strTitle,
                                               const std::string& strStartPath,
                                               const CNetworkAccount& account) override;
    CSize GetScreenSize() const override { return m_sizeScreen; }
    CSize GetIconSize() const override { return {32, 32}; }
    CPoint GetCursorPos() const override { return m_ptCursor; }
    CWindowRef WindowFromPoint(CPoint pt) const override;
    CSize MeasureText(const std::string& strText, CUiFont font) const override;
    CDialogBaseUnits GetBaseUnits(const std::string& strFace, int nPoints) const override;
    std::uint64_t GetTickCount() const override { return m_nNow; }
    std::unique_ptr<CRemoteEndpoint> ListenRemote(CUiWindow& wnd,
                                                  const std::string& strCaption) override;

    // ---- What a driver hooks in
    // Called by a modal loop when nothing is posted; true when it did something.
    void SetIdleHandler(std::function<bool()> fn) { m_fnIdle = std::move(fn); }
    // Answers a message box (the record without its answer); without one, OK (Yes for yes/no).
    void SetMessageBoxHandler(std::function<int(const CShownMessageBox&)> fn) {
        m_fnMessageBox = std::move(fn);
    }
    // Answers the folder browser (title, start path, account); without one, Cancel.
    using CFolderBrowserHandler = std::function<std::optional<std::string>(
        const std::string&, const std::string&, const CNetworkAccount&)>;
    void SetFolderBrowserHandler(CFolderBrowserHandler fn) { m_fnFolderBrowser = std::move(fn); }
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }
    bool Stalled() const { return m_bStalled; }
    void SetScreenSize(CSize size) { m_sizeScreen = size; }
    // The cell of every character of the UI fonts that MeasureText measures (6 x 13 unless set).
    void SetUiFontCell(CSize cell) { m_sizeUiFontCell = cell; }
    void SetCursorPos(CPoint pt) { m_ptCursor = pt; }
    void SetServeRemote(bool bServe) { m_bServeRemote = bServe; }
    // Virtual time follows the wall clock from now on, and a modal loop with nothing to do waits
    // for its next timer instead of stalling: for a whole program run headless.
    void SetRealTime(bool bRealTime);
    // Moves virtual time to nUntil, firing every timer that falls due in order of its due time
    // (each period of a periodic timer fires once; timers due together fire in the order they
    // were set) and delivering posted messages after each.
    void FireTimersUntil(std::uint64_t nUntil);

    // ---- The windows, for a driver
    const std::vector<CHeadlessDialog*>& Dialogs() const { return m_dialogs; } // creation order
    const std::vector<CHeadlessPopup*>& Popups() const { return m_popups; }
    // The innermost running modal dialog, or null.
    CHeadlessDialog* Active() const { return m_modal.empty() ? nullptr : m_modal.back(); }
    bool IsModal(const CHeadlessDialog* pDlg) const;
    CHeadlessDialog* PeerOf(const CDialog& dlg) const;
    CHeadlessPopup* PopupOf(const CUiWindow& wnd) const;

private:
    friend class CHeadlessDialog;
    friend class CHeadlessPopup;
    friend void HeadlessSetTimer(CHeadlessUi&, const CUiWindow*, std::uintptr_t, unsigned);
    friend bool HeadlessKillTimer(CHeadlessUi&, const CUiWindow*, std::uintptr_t);
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

    std::shared_ptr<CPostQueue> m_pQueue;
    std::vector<CHeadlessDialog*> m_dialogs; // live dialogs, in creation order
    std::vector<CHeadlessDialog*> m_modal;   // running modal loops, innermost last
    std::vector<CHeadlessPopup*> m_popups;
    std::vector<CTimer> m_timers;
    std::uint64_t m_nNow = 0;
    std::uint64_t m_nTimerSeq = 0;
    std::function<bool()> m_fnIdle;
    std::function<int(const CShownMessageBox&)> m_fnMessageBox;
    CFolderBrowserHandler m_fnFolderBrowser;
    CPoint m_ptCursor;
    CSize m_sizeScreen{1280, 1024};
    CSize m_sizeUiFontCell{6, 13};
    std::chrono::milliseconds m_stallLimit{20000};
    bool m_bStalled = false;
    bool m_bServeRemote = false;
    bool m_bRealTime = false;
    std::chrono::steady_clock::time_point m_realStart;
    CUiBackend* m_pPrevious = nullptr;
};
