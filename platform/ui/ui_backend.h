// The ui seam: what a backend (Win32, GTK, headless) provides to the dialog layer; portable.
//
// Writing a backend. The portable classes (platform/ui/dialog.h) own every decision; a backend
// only builds windows from a CDlgTemplate, keeps the controls' state, and reports input:
//   - Build the window and its controls from the template: control kinds and styles from
//     CCtrlKind and CCtrlStyle, places from CDialogBaseUnits (GetBaseUnits of the template's
//     font; a native dialog manager that converts dialog units itself gives the same pixels).
//   - Deliver every message to CUiWindow::WindowProc with the Windows numbers of ui_types.h:
//     WM_INITDIALOG once the controls exist and before the window shows, WM_COMMAND for clicks
//     (BN_CLICKED, after toggling an automatic check box), edits (EN_CHANGE) and list boxes with
//     CTRL_NOTIFY (LBN_SELCHANGE, LBN_DBLCLK), WM_CLOSE for the close box, WM_TIMER, WM_SIZING
//     with a CRect* in lParam (apply the rectangle the handler leaves), WM_SIZE, and any message
//     that arrives from another process unchanged.
//   - Give the dialog's PreTranslateMessage the keys and mouse messages of the window and its
//     controls first; if it does not consume them, Escape becomes the IDCANCEL command and Enter
//     the command of the focused push button, else of the CTRL_DEFAULT button (IDOK without one;
//     nothing when that button is disabled).
//   - Posting: GetPostQueue returns one queue per UI thread. A native loop sets the queue's waker
//     (post a private message to a hidden window, or wake the main context) and, when woken,
//     takes every item and calls its target's WindowProc while the target still has a window.
//   - RunModal runs its own loop (so that PreTranslateMessage sees input) until EndModal; the
//     loop also serves the thread's other windows, nested modal loops included.
//   - Win32: <windows.h> turns PostMessage, SetWindowText, GetWindowText, MessageBox, DrawText,
//     SetDlgItemText and GetDlgItemText into their A/W names; #undef them right after including
//     it, before the layer's headers are used in that file.
#pragma once

#include "platform/ui/dialog_template.h"
#include "platform/ui/post_queue.h"
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
    virtual void DrawText(const CRect& rc, const std::string& strText, CUiFont font) = 0;
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
    virtual int MessageBox(CUiWindow* pOwner, const std::string& strText,
                           const std::string& strCaption, unsigned nType) = 0;
    // The system's folder browser, modal, owned by the window (none: no owner), opened at
    // strStartPath (a network node such as two backslashes and a device name), offering
    // file-system folders only and no New Folder button. The chosen folder's path, or nothing
    // when the user cancelled.
    virtual std::optional<std::string> BrowseForFolder(CUiWindow* pOwner,
                                                       const std::string& strTitle,
                                                       const std::string& strStartPath) = 0;
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
};

// The process's backend. Set it on the UI thread before windows are made; returns the one it
// replaces (tests install a headless backend for their scope and put the previous one back).
CUiBackend* SetUiBackend(CUiBackend* pBackend);
CUiBackend& GetUiBackend();
