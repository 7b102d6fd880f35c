// The ui seam: what a backend (Win32, GTK, headless) provides to the dialog layer; portable.
//
// Writing a backend. The portable classes (platform/ui/dialog.h) own every decision and state
// the contract; a backend only builds windows from a CDlgTemplate, keeps the controls' state, and
// reports input. The headless backend (platform/headless/) is the reference: read it first.
//   - Build the window and its controls from the template: control kinds and styles from
//     CCtrlKind and CCtrlStyle, places from CDialogBaseUnits (GetBaseUnits of the template's
//     font; a native dialog manager that converts dialog units itself gives the same pixels).
//   - Deliver every message to CUiWindow::WindowProc with the Windows numbers of ui_types.h:
//     WM_INITDIALOG once the controls exist and before the window shows; WM_COMMAND for user
//     input only: clicks (BN_CLICKED, after toggling an automatic check box), typing (EN_CHANGE)
//     and list box choices with CTRL_NOTIFY (LBN_SELCHANGE, LBN_DBLCLK); WM_CLOSE for the close
//     box; WM_TIMER; WM_SIZE. Never report a change that code made through the peer (a native
//     toolkit that signals those, such as GTK's "changed" or Win32's EN_CHANGE on WM_SETTEXT,
//     is silenced while the peer makes the change): the layer sends the notifications that
//     code-made changes owe (EN_CHANGE after SetItemText on an edit box) itself.
//   - Keys: give every key press of the dialog and its controls to CDialog::HandleDialogKey
//     (WM_KEYDOWN with the virtual-key code), which runs PreTranslateMessage and the keyboard
//     rule; mouse messages of the window and its controls go to PreTranslateMessage first.
//   - Sizing: when the user drags an edge, ask CDialog::AcceptSizing (or send WM_SIZING with a
//     CRect* in lParam, as Win32 does) with the edge and the proposed window rectangle, and give
//     the window the rectangle it answers; then deliver WM_SIZE.
//   - Posting: GetPostQueue returns one queue per UI thread. A native loop sets the queue's waker
//     (post a private message to a hidden window, or wake the main context) and, when woken,
//     takes every item and hands it to CPostQueue::Deliver, which drops items whose window has
//     gone. Work items run there like messages, in the same order.
//   - RunModal runs its own loop (so that input reaches HandleDialogKey and PreTranslateMessage)
//     until EndModal; the loop also serves the thread's other windows and posts, nested modal
//     loops included.
//   - Messages from other processes: ListenRemote serves a caption for a window. The default
//     (an endpoint of platform/ui/remote_message.h, delivering through the post queue) suits a
//     backend whose windows are not native Win32 windows; the Win32 backend answers null, as its
//     real windows are found by their caption and receive such messages directly.
//   - Names: the layer avoids the names that <windows.h> turns into macros (PostMessage,
//     SetWindowText, GetWindowText, MessageBox, DrawText, SetDlgItemText, GetDlgItemText, ...),
//     so its headers and <windows.h> may be included in any order.
#pragma once

#include "platform/ui/dialog_template.h"
#include "platform/ui/post_queue.h"
#include "platform/ui/remote_message.h"
#include "platform/ui/ui_types.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CDialog;
class CPopupWindow;
class CUiWindow;

// A backend's half of one window. Every call is made on the UI thread. The portable half
// (CUiWindow and its subclasses) holds the behaviour; a peer only shows and reports. Rectangles
// are pixels: window rectangles in screen coordinates, client rectangles from (0, 0).
class CWindowPeer {
public:
    virtual ~CWindowPeer() = default;

    // Timers by id: a timer fires every nElapse ms until it is killed; setting an id that runs
    // already restarts it with the new period. The backend delivers WM_TIMER with the id in wParam.
    virtual void SetTimer(std::uintptr_t nId, unsigned nElapse) = 0;
    virtual bool KillTimer(std::uintptr_t nId) = 0;

    virtual CRect GetWindowRect() const = 0;
    virtual CRect GetClientRect() const = 0;
    virtual CPoint ClientToScreen(CPoint pt) const = 0;
    // Moves and sizes the whole window (frame included), in screen coordinates.
    virtual void MoveWindow(const CRect& rc) = 0;
    virtual void SetTopmost(bool bTopmost) = 0;
    // Shows (optionally without activating it) or hides the window.
    virtual void Show(bool bShow, bool bActivate) = 0;
    virtual bool IsVisible() const = 0;
    // True while the window is minimized (shown as an icon or a taskbar button only).
    virtual bool IsMinimized() const = 0;
    virtual void SetText(const std::string& strText) = 0;
    virtual std::string GetText() const = 0;
    // Asks for a repaint; bNow paints before returning.
    virtual void Invalidate(bool bNow) = 0;
};

// A backend's half of a dialog built from a template: the window, its controls, the modal loop.
// Controls are addressed by their template ids; a call naming no control does nothing and
// answers empty, 0, false or -1.
class CDialogPeer : public CWindowPeer {
public:
    // Shows the dialog, delivers WM_INITDIALOG to its owner, then runs a modal loop (posted
    // messages, timers, input of this and of other windows of the thread) until EndModal.
    // Returns the code given to EndModal.
    virtual int RunModal() = 0;
    virtual void EndModal(int nResult) = 0;

    virtual bool HasItem(int nId) const = 0;
    virtual void SetItemText(int nId, const std::string& strText) = 0;
    virtual std::string GetItemText(int nId) const = 0;
    virtual void SetCheck(int nId, int nCheck) = 0;
    virtual int GetCheck(int nId) const = 0;
    virtual void ShowItem(int nId, bool bShow) = 0;
    virtual bool IsItemVisible(int nId) const = 0;
    virtual void EnableItem(int nId, bool bEnable) = 0;
    virtual bool IsItemEnabled(int nId) const = 0;
    virtual void SetItemReadOnly(int nId, bool bReadOnly) = 0;
    virtual bool IsItemReadOnly(int nId) const = 0;
    // The control's window rectangle in screen coordinates.
    virtual CRect GetItemRect(int nId) const = 0;
    // Places the control; rc is in the dialog's client coordinates.
    virtual void MoveItem(int nId, const CRect& rc) = 0;
    virtual void SetFocusItem(int nId) = 0;
    virtual int GetFocusItem() const = 0; // 0 when no control has the focus

    // List box. Lines are numbered from 0; a sorted list box places AddString's line by the
    // backend's collation, InsertString's at the given index (-1: at the end).
    virtual int LbAddString(int nId, const std::string& strLine) = 0;
    virtual int LbInsertString(int nId, int nIndex, const std::string& strLine) = 0;
    virtual int LbDeleteString(int nId, int nIndex) = 0;
    virtual void LbResetContent(int nId) = 0;
    virtual int LbGetCount(int nId) const = 0;
    virtual int LbGetCurSel(int nId) const = 0;
    virtual void LbSetCurSel(int nId, int nIndex) = 0;
    virtual std::string LbGetText(int nId, int nIndex) const = 0;

    // List view in report view. Column 0 is the row's own text.
    virtual int LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) = 0;
    virtual int LvGetColumnWidth(int nId, int nCol) const = 0;
    virtual int LvInsertItem(int nId, int nRow, const std::string& strText) = 0;
    virtual bool LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) = 0;
    virtual std::string LvGetItemText(int nId, int nRow, int nCol) const = 0;
    virtual int LvGetItemCount(int nId) const = 0;
    virtual void LvDeleteAllItems(int nId) = 0;
    virtual int LvGetSelection(int nId) const = 0;
    virtual void LvSetSelection(int nId, int nRow) = 0;

    // Web browser control: loads the address.
    virtual void Navigate(int nId, const std::string& strUrl) = 0;
    // The window's big and small icon, by resource id.
    virtual void SetIcon(int nIconId) = 0;
};

// Drawing on a popup window during its paint. Coordinates are the window's client pixels.
class CPaintSurface {
public:
    virtual ~CPaintSurface() = default;
    virtual void FillRegion(const CRegionShape& shape, CSysColor color) = 0;
    // A frame along the region's inside edge, cx pixels wide on the sides, cy on top and bottom.
    virtual void FrameRegion(const CRegionShape& shape, CSysColor color, int cx, int cy) = 0;
    // Text in the rectangle from its top-left corner, lines broken only at line breaks,
    // transparent background.
    virtual void DrawTextIn(const CRect& rc, const std::string& strText, CUiFont font) = 0;
    virtual void DrawIcon(CPoint pt, int nIconId, CSize size) = 0;
};

// A backend's half of a popup window without frame (the shaped info-tip).
class CPopupPeer : public CWindowPeer {
public:
    // The window's shape; parts outside it are neither drawn nor hit.
    virtual void SetRegion(const CRegionShape& shape) = 0;
};

// The backend of the UI thread. One is installed per process (SetUiBackend) before any window
// is made; every call but GetPostQueue's queue operations is made on the UI thread.
class CUiBackend {
public:
    virtual ~CUiBackend() = default;

    virtual std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                          CUiWindow* pParent) = 0;
    virtual std::unique_ptr<CPopupPeer> CreatePopupPeer(CPopupWindow& owner,
                                                        CUiWindow* pOwnerWindow) = 0;

    // The queue that posts to this thread's windows go through.
    virtual std::shared_ptr<CPostQueue> GetPostQueue() = 0;

    // A modal message box owned by the window (none: no owner); returns the button pressed.
    virtual int ShowMessageBox(CUiWindow* pOwner, const std::string& strText,
                               const std::string& strCaption, unsigned nType) = 0;
    // The system's folder browser, modal, owned by the window (none: no owner), opened at
    // strStartPath (a network node such as two backslashes and a device name), offering
    // file-system folders only and no New Folder button; account signs in to that node where
    // the system asks (the user is asked only when the device refuses it). The chosen folder's
    // path in the Windows form (a network folder as \\HOST\share\folder), or nothing when the
    // user cancelled.
    virtual std::optional<std::string> BrowseForFolder(CUiWindow* pOwner,
                                                       const std::string& strTitle,
                                                       const std::string& strStartPath,
                                                       const CNetworkAccount& account) = 0;
    virtual CSize GetScreenSize() const = 0;
    virtual CSize GetIconSize() const = 0;
    virtual CPoint GetCursorPos() const = 0;
    // The window or control under a screen point; group boxes and statics are transparent to it.
    virtual CWindowRef WindowFromPoint(CPoint pt) const = 0;
    // The pixel size of a text in one of the UI fonts, lines broken only at line breaks.
    virtual CSize MeasureText(const std::string& strText, CUiFont font) const = 0;
    // The dialog base units of a template's font (see CDialogBaseUnits).
    virtual CDialogBaseUnits GetBaseUnits(const std::string& strFace, int nPoints) const = 0;
    // Milliseconds of a steady clock (virtual time in the headless backend).
    virtual std::uint64_t GetTickCount() const = 0;

    // Serves strCaption for the window (see platform/ui/remote_message.h); null when it cannot be
    // served, or when the backend's own windows are reachable by caption already.
    virtual std::unique_ptr<CRemoteEndpoint> ListenRemote(CUiWindow& wnd,
                                                          const std::string& strCaption);
};

// The backend of this build's desktop (Win32, GTK, or a console stand-in that writes message
// boxes to standard error where neither is built), for a program's entry to install.
std::unique_ptr<CUiBackend> CreatePlatformUi();

// The process's backend. Set it on the UI thread before windows are made; returns the one it
// replaces (tests install a headless backend for their scope and put the previous one back).
CUiBackend* SetUiBackend(CUiBackend* pBackend);
CUiBackend& GetUiBackend();
