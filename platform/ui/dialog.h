// The dialog layer's window classes: CUiWindow, CDialog and CPopupWindow; portable.
//
// How the layer is used
// ---------------------
// A dialog is a class derived from CDialog, built from a template (platform/ui/dialog_template.h,
// the data lives in resources/). Its handlers see only the dialog and control ids. It registers
// them in its constructor:
//
//     MapCommand(1019, &CMyDlg::OnStart);               // WM_COMMAND from control 1019, BN_CLICKED
//     MapCommand(1021, LBN_SELCHANGE, &CMyDlg::OnSel);  // a notification other than a click
//     MapMessage(WM_USER + 5, &CMyDlg::OnFive);         // LRESULT OnFive(WPARAM, LPARAM)
//
// and overrides the virtual hooks it needs: OnInitDialog, OnOK, OnCancel, OnClose, OnTimer,
// OnSizing, OnSize, OnDestroy, PreTranslateMessage.
//
// The contract every backend keeps (see platform/ui/ui_backend.h for how):
//
// Threads. Every member is for the UI thread, except Post, PostCommand, PostWork and the handle
// from GetPost(), which any thread may use. Posts are queued in the order they are made and
// delivered on the UI thread while a message loop (any modal loop, nested ones included) runs.
// A post to a window that no longer exists is dropped, work included, so a worker holding a
// CWindowPost can never reach a destroyed dialog, and work posted by a worker may capture the
// window it is posted to.
//
// Dispatch of one message (CUiWindow::WindowProc):
//   WM_INITDIALOG  -> OnInitDialog()
//   WM_COMMAND     -> the handler mapped for (id, notification); else IDOK -> OnOK(),
//                     IDCANCEL -> OnCancel(); else nothing
//   WM_CLOSE       -> OnClose(); by default the Cancel command, unless control IDCANCEL is
//                     disabled
//   WM_TIMER       -> OnTimer(id)
//   WM_SIZING      -> OnSizing(edge, proposed rectangle); the accepted rectangle is written back
//   WM_SIZE        -> OnSize(client width, client height)
//   WM_PAINT       -> the backend calls OnPaint(surface) directly, with a surface to draw on
//   any other      -> the handler mapped with MapMessage; else 0
//
// Notifications from code. Input from the user notifies the dialog: a click (BN_CLICKED, after
// an automatic check box toggled), typing in an edit box (EN_CHANGE), choosing a list box line
// (LBN_SELCHANGE, LBN_DBLCLK, when the list box notifies). A change made from code notifies only
// where the Windows dialog manager does: SetItemText on an edit box sends EN_CHANGE (the layer
// sends it, right after the change); CheckDlgButton, LbSetCurSel, LvSetSelection, list contents,
// visibility and the rest send nothing. Backends report user input only and never a change that
// code made.
//
// Keyboard (HandleDialogKey, called by every backend for the keys of the dialog and its
// controls): PreTranslateMessage sees the key first; if it does not consume it, Escape becomes the
// IDCANCEL command and Enter the command of the focused push button, else of the default push
// button (IDOK when there is none; nothing when that button is disabled).
//
// Sizing: when the user drags an edge, the backend asks OnSizing (through WM_SIZING or
// AcceptSizing) with the edge and the proposed window rectangle, and the window takes the
// rectangle it answers; WM_SIZE follows with the new client size.
//
// Messages from other processes: a window that calls ServeRemoteMessages() is reachable under its
// caption (platform/ui/remote_message.h); such messages arrive through the post queue and are
// dispatched like any other. A new caption moves the name with it.
#pragma once

#include "platform/ui/dialog_template.h"
#include "platform/ui/post_queue.h"
#include "platform/ui/remote_message.h"
#include "platform/ui/ui_backend.h"
#include "platform/ui/ui_types.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

// What every window of the layer has: message dispatch, posting, timers, place and text.
class CUiWindow {
public:
    CUiWindow();
    virtual ~CUiWindow();
    CUiWindow(const CUiWindow&) = delete;
    CUiWindow& operator=(const CUiWindow&) = delete;

    // The one entry for messages (backends, posts, the layer itself); UI thread.
    LRESULT WindowProc(unsigned nMsg, WPARAM wParam, LPARAM lParam);
    // Sees input messages (keys, mouse) of the window and its controls before they are handled;
    // true consumes the message.
    virtual bool PreTranslateMessage(const CUiMessage& msg);

    // Any thread.
    bool Post(unsigned nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool PostCommand(int nId, int nNotify = BN_CLICKED) const;
    bool PostWork(CPostedWork fnWork) const { return GetPost().PostWork(std::move(fnWork)); }
    CWindowPost GetPost() const { return CWindowPost(m_pQueue, m_pTarget); }

    // True while the window exists (between its creation and its destruction).
    bool IsWindow() const { return m_pPeer != nullptr; }
    bool SetTimer(std::uintptr_t nId, unsigned nElapse);
    bool KillTimer(std::uintptr_t nId);
    CRect GetWindowRect() const;
    CRect GetClientRect() const;
    CPoint ClientToScreen(CPoint pt) const;
    void MoveWindow(const CRect& rc);
    void SetTopmost(bool bTopmost);
    void ShowWindow(bool bShow, bool bActivate = true);
    bool IsWindowVisible() const;
    bool IsMinimized() const;
    void SetCaption(const std::string& strText);
    std::string GetCaption() const;
    void Invalidate(bool bNow = false);
    CWindowRef Ref(int nCtrlId = 0) const { return {this, nCtrlId}; }

    // A modal message box owned by this window.
    int ShowMessageBox(const std::string& strText, const std::string& strCaption,
                       unsigned nType = MB_OK);

    // Paints the window's own client area (WM_PAINT; not its controls): true when it painted,
    // false to leave the default painting (a dialog's background) to the backend.
    virtual bool OnPaint(CPaintSurface& /*surface*/) { return false; }

    // Makes the window reachable from other processes of the user under its caption, from now on
    // and whenever it exists (see platform/ui/remote_message.h).
    void ServeRemoteMessages();

protected:
    // Message map for messages other than the ones with hooks (WM_USER + n and the like).
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    void MapMessage(unsigned nMsg, MessageHandler fn) { m_mapMessages[nMsg] = std::move(fn); }
    template <class T> void MapMessage(unsigned nMsg, LRESULT (T::*pfn)(WPARAM, LPARAM)) {
        T* self = static_cast<T*>(this);
        MapMessage(nMsg, [self, pfn](WPARAM w, LPARAM l) { return (self->*pfn)(w, l); });
    }

    virtual LRESULT OnMessage(unsigned nMsg, WPARAM wParam, LPARAM lParam);
    virtual void OnTimer(std::uintptr_t /*nId*/) {}
    virtual void OnDestroy() {}

    // The backend half; set while the window exists.
    void AttachPeer(std::unique_ptr<CWindowPeer> pPeer);
    void DestroyPeer();
    CWindowPeer* Peer() const { return m_pPeer.get(); }

private:
    void ListenRemote();

    std::unique_ptr<CWindowPeer> m_pPeer;
    std::shared_ptr<CPostQueue> m_pQueue;
    std::shared_ptr<CPostTarget> m_pTarget;
    std::map<unsigned, MessageHandler> m_mapMessages;
    bool m_bServeRemote = false;
    std::unique_ptr<CRemoteEndpoint> m_pRemote;
};

// A dialog built from a template and run modally; the layer's counterpart of the framework's
// dialog class.
class CDialog : public CUiWindow {
public:
    explicit CDialog(const CDlgTemplate& tmpl, CUiWindow* pParent = nullptr);
    ~CDialog() override;

    // Creates the window, runs it until EndDialog and destroys it; returns EndDialog's code.
    virtual int DoModal();
    // Ends the modal loop once the current handler returns; the window is destroyed then.
    void EndDialog(int nResult);

    const CDlgTemplate& Template() const { return m_template; }
    CDialogBaseUnits GetBaseUnits() const;

    // A key pressed in the dialog or one of its controls, by its virtual-key code; every backend
    // hands keys here. True when the key was used (see "Keyboard" above).
    bool HandleDialogKey(int nVirtKey);
    // The rectangle the window takes when the user drags edge to rcProposed (screen pixels).
    CRect AcceptSizing(CSizingEdge edge, const CRect& rcProposed);

    // Controls by id.
    bool HasItem(int nId) const;
    // Sets a control's text; an edit box then notifies EN_CHANGE.
    void SetItemText(int nId, const std::string& strText);
    std::string GetItemText(int nId) const;
    void CheckDlgButton(int nId, int nCheck);
    int IsDlgButtonChecked(int nId) const;
    void ShowItem(int nId, bool bShow);
    bool IsItemVisible(int nId) const;
    void EnableItem(int nId, bool bEnable);
    bool IsItemEnabled(int nId) const;
    void SetItemReadOnly(int nId, bool bReadOnly);
    bool IsItemReadOnly(int nId) const;
    // The control's window rectangle in screen pixels.
    CRect GetItemRect(int nId) const;
    // Places the control; rc is in client coordinates.
    void MoveItem(int nId, const CRect& rc);
    CPoint ScreenToClient(CPoint pt) const;
    void SetFocusItem(int nId);
    int GetFocusItem() const;
    void SetIcon(int nIconId);

    // List box operations (LB_* messages); see CDialogPeer.
    int LbAddString(int nId, const std::string& strLine);
    int LbInsertString(int nId, int nIndex, const std::string& strLine);
    int LbDeleteString(int nId, int nIndex);
    void LbResetContent(int nId);
    int LbGetCount(int nId) const;
    int LbGetCurSel(int nId) const;
    void LbSetCurSel(int nId, int nIndex);
    std::string LbGetText(int nId, int nIndex) const;

    // List view operations (report view); see CDialogPeer.
    int LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth);
    int LvGetColumnWidth(int nId, int nCol) const;
    int LvInsertItem(int nId, int nRow, const std::string& strText);
    bool LvSetItemText(int nId, int nRow, int nCol, const std::string& strText);
    std::string LvGetItemText(int nId, int nRow, int nCol) const;
    int LvGetItemCount(int nId) const;
    void LvDeleteAllItems(int nId);
    int LvGetSelection(int nId) const;
    void LvSetSelection(int nId, int nRow);

    void Navigate(int nId, const std::string& strUrl);

protected:
    using CommandHandler = std::function<void()>;
    void MapCommand(int nId, int nNotify, CommandHandler fn);
    void MapCommand(int nId, CommandHandler fn) { MapCommand(nId, BN_CLICKED, std::move(fn)); }
    template <class T> void MapCommand(int nId, void (T::*pfn)()) {
        MapCommand(nId, BN_CLICKED, pfn);
    }
    template <class T> void MapCommand(int nId, int nNotify, void (T::*pfn)()) {
        T* self = static_cast<T*>(this);
        MapCommand(nId, nNotify, [self, pfn] { (self->*pfn)(); });
    }

    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnClose();
    // Called for commands no mapped handler took; true when handled.
    virtual bool OnCommand(int nId, int nNotify, LPARAM lParam);
    // The user drags edge; the window's say over the proposed window rectangle (screen pixels):
    // it answers the rectangle the window takes. By default the proposal stands.
    virtual CRect OnSizing(CSizingEdge /*edge*/, const CRect& rcProposed) { return rcProposed; }
    virtual void OnSize(int /*cx*/, int /*cy*/) {}

    LRESULT OnMessage(unsigned nMsg, WPARAM wParam, LPARAM lParam) override;
    CDialogPeer* DlgPeer() const { return static_cast<CDialogPeer*>(Peer()); }

private:
    const CDlgTemplate& m_template;
    CUiWindow* m_pParent;
    CDialogPeer* m_pDlgPeer = nullptr;
    std::map<std::pair<int, int>, CommandHandler> m_mapCommands;
};

// A frameless popup window with a shape of its own (the info-tip); the layer's counterpart of a
// plain framework window.
class CPopupWindow : public CUiWindow {
public:
    CPopupWindow() = default;
    ~CPopupWindow() override;

    // Creates the window, hidden, owned by pOwner (which may be null).
    bool CreatePopup(CUiWindow* pOwner);
    void DestroyWindow();
    void SetRegion(const CRegionShape& shape);
    // Moves, sizes, raises to the top and shows the window without activating it.
    void ShowAt(const CRect& rc);

private:
    CPopupPeer* m_pPopupPeer = nullptr;
};
