// The Win32 backend's classes, shared by its files: the backend, the dialog and popup peers, the
// GDI drawing surface and the text conversions; platform code.
#pragma once

#include <windows.h>

#include "platform/ui/dialog.h"
#include "platform/ui/ui_backend.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CWin32Browser;
class CWin32Dialog;

// The ANSI code page, like the layer's strings on Windows, to and from UTF-16.
std::wstring Win32Widen(const std::string& str, UINT nCodePage = CP_ACP);
std::string Win32Narrow(const std::wstring& str, UINT nCodePage = CP_ACP);
// The text of a window, whatever its length.
std::string Win32WindowText(HWND hwnd);
RECT Win32Rect(const CRect& rc);
CRect LayerRect(const RECT& rc);
// The portable shape as a region: the rounded rectangle united with the polygon (alternate fill).
HRGN Win32MakeRegion(const CRegionShape& shape);
// Icon id of the program's resources at a size, or null; the caller destroys it.
HICON Win32LoadIcon(int nIconId, int cx, int cy);

// Drawing calls of the layer on a device context.
class CGdiSurface final : public CPaintSurface {
public:
    explicit CGdiSurface(HDC hdc) : m_hdc(hdc) {}
    void FillRegion(const CRegionShape& shape, CSysColor color) override;
    void FrameRegion(const CRegionShape& shape, CSysColor color, int cx, int cy) override;
    void DrawTextIn(const CRect& rc, const std::string& strText, CUiFont font) override;
    void DrawIcon(CPoint pt, int nIconId, CSize size) override;

private:
    HDC m_hdc;
};

// The window half shared by the dialog and popup peers.
template <class TPeer> class CWin32WindowPeer : public TPeer {
public:
    void SetTimer(std::uintptr_t nId, unsigned nElapse) override {
        if (m_hwnd)
            ::SetTimer(m_hwnd, nId, nElapse, nullptr);
    }
    bool KillTimer(std::uintptr_t nId) override {
        return m_hwnd && ::KillTimer(m_hwnd, nId) != FALSE;
    }
    CRect GetWindowRect() const override {
        RECT rc{};
        if (m_hwnd)
            ::GetWindowRect(m_hwnd, &rc);
        return LayerRect(rc);
    }
    CRect GetClientRect() const override {
        RECT rc{};
        if (m_hwnd)
            ::GetClientRect(m_hwnd, &rc);
        return LayerRect(rc);
    }
    CPoint ClientToScreen(CPoint pt) const override {
        POINT p{pt.x, pt.y};
        if (m_hwnd)
            ::ClientToScreen(m_hwnd, &p);
        return {p.x, p.y};
    }
    void MoveWindow(const CRect& rc) override {
        if (m_hwnd)
            ::MoveWindow(m_hwnd, rc.left, rc.top, rc.Width(), rc.Height(), TRUE);
    }
    void SetTopmost(bool bTopmost) override {
        if (m_hwnd)
            ::SetWindowPos(m_hwnd, bTopmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    void Show(bool bShow, bool bActivate) override {
        if (m_hwnd)
            ::ShowWindow(m_hwnd, !bShow ? SW_HIDE : bActivate ? SW_SHOW : SW_SHOWNOACTIVATE);
    }
    bool IsVisible() const override { return m_hwnd && ::IsWindowVisible(m_hwnd); }
    bool IsMinimized() const override { return m_hwnd && ::IsIconic(m_hwnd); }
    void SetText(const std::string& strText) override {
        if (m_hwnd)
            ::SetWindowTextA(m_hwnd, strText.c_str());
    }
    std::string GetText() const override {
        return m_hwnd ? Win32WindowText(m_hwnd) : std::string();
    }
    void Invalidate(bool bNow) override {
        if (!m_hwnd)
            return;
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
        if (bNow)
            ::UpdateWindow(m_hwnd);
    }

    HWND m_hwnd = nullptr;
};

class CWin32Ui;

// A dialog built from its template by the dialog manager, run by the backend's modal loop.
class CWin32Dialog final : public CWin32WindowPeer<CDialogPeer> {
public:
    CWin32Dialog(CWin32Ui& ui, CDialog& owner, const CDlgTemplate& tmpl, CUiWindow* pParent);
    ~CWin32Dialog() override;

    int RunModal() override;
    void EndModal(int nResult) override;
    bool HasItem(int nId) const override { return Ctrl(nId) != nullptr; }
    void SetItemText(int nId, const std::string& strText) override;
    std::string GetItemText(int nId) const override;
    void SetCheck(int nId, int nCheck) override;
    int GetCheck(int nId) const override;
    void ShowItem(int nId, bool bShow) override;
    bool IsItemVisible(int nId) const override;
    void EnableItem(int nId, bool bEnable) override;
    bool IsItemEnabled(int nId) const override;
    void SetItemReadOnly(int nId, bool bReadOnly) override;
    bool IsItemReadOnly(int nId) const override;
    CRect GetItemRect(int nId) const override;
    void MoveItem(int nId, const CRect& rc) override;
    void SetFocusItem(int nId) override;
    int GetFocusItem() const override;
    int LbAddString(int nId, const std::string& strLine) override;
    int LbInsertString(int nId, int nIndex, const std::string& strLine) override;
    int LbDeleteString(int nId, int nIndex) override;
    void LbResetContent(int nId) override;
    int LbGetCount(int nId) const override;
    int LbGetCurSel(int nId) const override;
    void LbSetCurSel(int nId, int nIndex) override;
    std::string LbGetText(int nId, int nIndex) const override;
    int LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) override;
    int LvGetColumnWidth(int nId, int nCol) const override;
    int LvInsertItem(int nId, int nRow, const std::string& strText) override;
    bool LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) override;
    std::string LvGetItemText(int nId, int nRow, int nCol) const override;
    int LvGetItemCount(int nId) const override;
    void LvDeleteAllItems(int nId) override;
    int LvGetSelection(int nId) const override;
    void LvSetSelection(int nId, int nRow) override;
    void Navigate(int nId, const std::string& strUrl) override;
    void SetIcon(int nIconId) override;

    // The control with that id and (when given) kind, or null.
    HWND Ctrl(int nId) const;
    HWND Ctrl(int nId, CCtrlKind kind) const;
    CWin32Browser* Browser(int nId) const;
    // Keys and mouse input of this dialog or its controls, before dispatch: true when used.
    bool PreTranslate(MSG& msg);
    // The layer's window or control under a screen point (group boxes and statics skipped).
    CWindowRef ControlFromPoint(POINT pt) const;

    CWin32Ui& m_ui;
    CDialog& m_dialog;
    const CDlgTemplate& m_tmpl;
    CUiWindow* m_pParent;
    bool m_bEnded = false;
    int m_nResult = 0;

private:
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnDlgMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    bool ForwardCommand(WPARAM wParam, LPARAM lParam);

    // Changes made through the peer are code's, never the user's: notifications they raise are
    // dropped while one is under way.
    int m_nSilence = 0;
    struct CSilence {
        explicit CSilence(CWin32Dialog& dlg) : m_dlg(dlg) { ++m_dlg.m_nSilence; }
        ~CSilence() { --m_dlg.m_nSilence; }
        CWin32Dialog& m_dlg;
    };
    HICON m_hIconBig = nullptr;
    HICON m_hIconSmall = nullptr;
    std::map<int, std::shared_ptr<CWin32Browser>> m_browsers;
};

// A frameless popup with a region, never activated.
class CWin32Popup final : public CWin32WindowPeer<CPopupPeer> {
public:
    CWin32Popup(CWin32Ui& ui, CPopupWindow& owner, HWND hwndOwner);
    ~CWin32Popup() override;
    void SetRegion(const CRegionShape& shape) override;
    // The class of the info-tip: no cursor, no background, no icon; it paints itself.
    static void RegisterPopupClass();

    CWin32Ui& m_ui;
    CPopupWindow& m_popup;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
};

class CWin32Ui final : public CUiBackend {
public:
    static constexpr const wchar_t* kBrowserHostClass = L"MarlowickBrowserHost";
    static constexpr const wchar_t* kPopupClass = L"MarlowickPopup";

    CWin32Ui();
    ~CWin32Ui() override;

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
    CSize GetScreenSize() const override;
    CSize GetIconSize() const override;
    CPoint GetCursorPos() const override;
    CWindowRef WindowFromPoint(CPoint pt) const override;
    CSize MeasureText(const std::string& strText, CUiFont font) const override;
    CDialogBaseUnits GetBaseUnits(const std::string& strFace, int nPoints) const override;
    std::uint64_t GetTickCount() const override;
    std::unique_ptr<CRemoteEndpoint> ListenRemote(CUiWindow& wnd,
                                                  const std::string& strCaption) override;

    // The windows of this backend.
    void Register(const CUiWindow& wnd, HWND hwnd, CWin32Dialog* pDialog);
    void Unregister(const CUiWindow& wnd);
    HWND HwndOf(const CUiWindow* pWnd) const;
    CWin32Dialog* DialogOf(const CUiWindow& wnd) const;
    CWin32Dialog* DialogOfRoot(HWND hwndRoot) const;

    // The modal loop of one dialog, nested in whatever loop runs.
    int RunModalLoop(CWin32Dialog& dlg, HWND hwndOwner);
    // The innermost running modal dialog's window, the default owner of new dialogs; or null.
    HWND ActiveModalWindow() const;

private:
    // Shared with the posting threads, which may still hold the waker while the backend goes.
    struct CWake {
        std::atomic<HWND> hwnd{nullptr};
        std::atomic<bool> bPending{false};
    };
    static LRESULT CALLBACK WakeProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    void OnWake();

    std::shared_ptr<CPostQueue> m_pQueue;
    std::shared_ptr<CWake> m_pWake;
    bool m_bOle = false;
    struct CWindowRecord {
        HWND hwnd;
        CWin32Dialog* pDialog;
    };
    std::map<const CUiWindow*, CWindowRecord> m_windows;
    std::vector<CWin32Dialog*> m_modal;
};

// The private message that wakes the UI thread's loop for posted items.
constexpr UINT WM_MW_WAKE = WM_APP + 0x3A1;
