// The Win32 backend of the dialog layer: posting, the modal loop, metrics, message boxes and the
// window under a point; platform code.
#include "platform/win32/ui_win32.h"

#include <commctrl.h>
#include <ole2.h>

#include "platform/debug_output.h"
#include "platform/win32/ui_win32_browser.h"
#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/ui_win32_template.h"

#include <algorithm>

// ---- Helpers shared by the backend's files

std::wstring Win32Widen(const std::string& str, UINT nCodePage) {
    if (str.empty())
        return {};
    const int n =
        MultiByteToWideChar(nCodePage, 0, str.data(), static_cast<int>(str.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        MultiByteToWideChar(nCodePage, 0, str.data(), static_cast<int>(str.size()), out.data(), n);
    return out;
}

std::string Win32Narrow(const std::wstring& str, UINT nCodePage) {
    if (str.empty())
        return {};
    const int n = WideCharToMultiByte(nCodePage, 0, str.data(), static_cast<int>(str.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        WideCharToMultiByte(nCodePage, 0, str.data(), static_cast<int>(str.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::string Win32WindowText(HWND hwnd) {
    const int n = GetWindowTextLengthA(hwnd);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    const int nGot = GetWindowTextA(hwnd, out.data(), n + 1);
    out.resize(static_cast<std::size_t>(std::max(nGot, 0)));
    return out;
}

RECT Win32Rect(const CRect& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

CRect LayerRect(const RECT& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

HRGN Win32MakeRegion(const CRegionShape& shape) {
    HRGN hrgn = CreateRoundRectRgn(shape.rcRound.left, shape.rcRound.top, shape.rcRound.right,
                                   shape.rcRound.bottom, shape.sizeCorner.cx, shape.sizeCorner.cy);
    if (hrgn && !shape.polygon.empty()) {
        std::vector<POINT> points;
        for (const CPoint& p : shape.polygon)
            points.push_back({p.x, p.y});
        HRGN hTail = CreatePolygonRgn(points.data(), static_cast<int>(points.size()), ALTERNATE);
        if (hTail) {
            CombineRgn(hrgn, hrgn, hTail, RGN_OR);
            DeleteObject(hTail);
        }
    }
    return hrgn;
}

HICON Win32LoadIcon(int nIconId, int cx, int cy) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nIconId),
                                         IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
}

// ---- CWin32Ui

CWin32Ui::CWin32Ui()
    : m_pQueue(std::make_shared<CPostQueue>()), m_pWake(std::make_shared<CWake>()) {
    // OLE for the browser control and the folder browser's new style; an apartment-threaded UI
    // thread, as both ask.
    m_bOle = SUCCEEDED(OleInitialize(nullptr));
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);

    HINSTANCE hInst = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = WakeProc;
    wc.hInstance = hInst;
    wc.lpszClassName = L"MarlowickWake";
    RegisterClassW(&wc); // a second backend of the process finds it registered
    HWND hwndWake = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    hInst, nullptr);
    SetWindowLongPtrW(hwndWake, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pWake->hwnd = hwndWake;
    RegisterBrowserHostClass(kBrowserHostClass);

    CWin32Popup::RegisterPopupClass();

    // Workers wake the loop with a message; one pending at a time, re-armed while items remain.
    std::weak_ptr<CWake> wake = m_pWake;
    m_pQueue->SetWaker([wake] {
        if (auto p = wake.lock())
            if (!p->bPending.exchange(true))
                PostMessageW(p->hwnd, WM_MW_WAKE, 0, 0);
    });
}

CWin32Ui::~CWin32Ui() {
    m_pQueue->SetWaker(nullptr);
    if (HWND hwnd = m_pWake->hwnd.exchange(nullptr))
        DestroyWindow(hwnd);
    if (m_bOle)
        OleUninitialize();
}

LRESULT CALLBACK CWin32Ui::WakeProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_MW_WAKE) {
        if (auto* self = reinterpret_cast<CWin32Ui*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            self->OnWake();
        return 0;
    }
    return DefWindowProcW(hwnd, nMsg, wParam, lParam);
}

void CWin32Ui::OnWake() {
    // One item per wake message, the next wake posted before it runs: an item that starts a
    // nested modal loop leaves the rest to that loop, in order.
    m_pWake->bPending = false;
    CPostQueue::CItem item;
    if (!m_pQueue->TryPop(item))
        return;
    if (m_pQueue->Size() > 0 && !m_pWake->bPending.exchange(true))
        PostMessageW(m_pWake->hwnd, WM_MW_WAKE, 0, 0);
    CPostQueue::Deliver(item);
}

std::unique_ptr<CDialogPeer> CWin32Ui::CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                        CUiWindow* pParent) {
    return std::make_unique<CWin32Dialog>(*this, owner, tmpl, pParent);
}

std::unique_ptr<CPopupPeer> CWin32Ui::CreatePopupPeer(CPopupWindow& owner,
                                                      CUiWindow* pOwnerWindow) {
    auto pPeer = std::make_unique<CWin32Popup>(*this, owner, HwndOf(pOwnerWindow));
    if (!pPeer->m_hwnd)
        return nullptr;
    return pPeer;
}

void CWin32Ui::Register(const CUiWindow& wnd, HWND hwnd, CWin32Dialog* pDialog) {
    m_windows[&wnd] = {hwnd, pDialog};
}

void CWin32Ui::Unregister(const CUiWindow& wnd) {
    m_windows.erase(&wnd);
}

HWND CWin32Ui::HwndOf(const CUiWindow* pWnd) const {
    const auto it = m_windows.find(pWnd);
    return it == m_windows.end() ? nullptr : it->second.hwnd;
}

CWin32Dialog* CWin32Ui::DialogOf(const CUiWindow& wnd) const {
    const auto it = m_windows.find(&wnd);
    return it == m_windows.end() ? nullptr : it->second.pDialog;
}

CWin32Dialog* CWin32Ui::DialogOfRoot(HWND hwndRoot) const {
    if (!hwndRoot)
        return nullptr;
    for (const auto& [pWnd, rec] : m_windows)
        if (rec.hwnd == hwndRoot)
            return rec.pDialog;
    return nullptr;
}

HWND CWin32Ui::ActiveModalWindow() const {
    for (auto it = m_modal.rbegin(); it != m_modal.rend(); ++it)
        if ((*it)->m_hwnd)
            return (*it)->m_hwnd;
    return nullptr;
}

int CWin32Ui::RunModalLoop(CWin32Dialog& dlg, HWND hwndOwner) {
    // As the dialog manager's own modal loop: the owner is disabled meanwhile, so that only this
    // dialog takes input; posts and the other windows' messages are served all the same.
    const bool bDisabledOwner = hwndOwner && IsWindowEnabled(hwndOwner);
    if (bDisabledOwner)
        EnableWindow(hwndOwner, FALSE);
    ShowWindow(dlg.m_hwnd, SW_SHOWNORMAL);
    m_modal.push_back(&dlg);
    while (!dlg.m_bEnded) {
        MSG msg;
        const BOOL bGot = GetMessageW(&msg, nullptr, 0, 0);
        if (bGot <= 0) {
            // WM_QUIT ends every loop; the outer ones see it again.
            PostQuitMessage(static_cast<int>(msg.wParam));
            dlg.m_nResult = -1;
            break;
        }
        HWND hwndRoot = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        CWin32Dialog* pTarget = DialogOfRoot(hwndRoot);
        if (pTarget && pTarget->PreTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    m_modal.erase(std::find(m_modal.begin(), m_modal.end(), &dlg));
    // The owner comes back before this one hides, so that the system activates it.
    if (bDisabledOwner)
        EnableWindow(hwndOwner, TRUE);
    ShowWindow(dlg.m_hwnd, SW_HIDE);
    return dlg.m_nResult;
}

int CWin32Ui::ShowMessageBox(CUiWindow* pOwner, const std::string& strText,
                             const std::string& strCaption, unsigned nType) {
    return MessageBoxA(HwndOf(pOwner), strText.c_str(), strCaption.c_str(), nType);
}

CSize CWin32Ui::GetScreenSize() const {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

CSize CWin32Ui::GetIconSize() const {
    return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
}

CPoint CWin32Ui::GetCursorPos() const {
    POINT pt{};
    ::GetCursorPos(&pt);
    return {pt.x, pt.y};
}

CWindowRef CWin32Ui::WindowFromPoint(CPoint pt) const {
    const POINT p{pt.x, pt.y};
    HWND hwnd = ::WindowFromPoint(p);
    HWND hwndRoot = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
    if (!hwndRoot)
        return {};
    for (const auto& [pWnd, rec] : m_windows) {
        if (rec.hwnd != hwndRoot)
            continue;
        return rec.pDialog ? rec.pDialog->ControlFromPoint(p) : pWnd->Ref();
    }
    return {};
}

CSize CWin32Ui::MeasureText(const std::string& strText, CUiFont /*font*/) const {
    HDC hdc = GetDC(nullptr);
    HGDIOBJ hOld = SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    RECT rc{0, 0, 0, 0};
    DrawTextA(hdc, strText.c_str(), static_cast<int>(strText.size()), &rc, DT_CALCRECT);
    SelectObject(hdc, hOld);
    ReleaseDC(nullptr, hdc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

CDialogBaseUnits CWin32Ui::GetBaseUnits(const std::string& strFace, int nPoints) const {
    // The font as the dialog manager makes it from a template, measured as it measures.
    HDC hdc = GetDC(nullptr);
    const int nPixels = MulDiv(nPoints, GetDeviceCaps(hdc, LOGPIXELSY), 72);
    HFONT hFont =
        CreateFontW(-nPixels, 0, 0, 0, kDialogFontWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                    0, PROOF_QUALITY, FF_DONTCARE, Win32Widen(strFace).c_str());
    HGDIOBJ hOld = SelectObject(hdc, hFont ? hFont : GetStockObject(SYSTEM_FONT));
    static constexpr wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size{};
    GetTextExtentPoint32W(hdc, kAlphabet, 52, &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(hdc, &tm);
    SelectObject(hdc, hOld);
    if (hFont)
        DeleteObject(hFont);
    ReleaseDC(nullptr, hdc);
    return CDialogBaseUnits::FromFontMetrics(size.cx, tm.tmHeight);
}

std::uint64_t CWin32Ui::GetTickCount() const {
    return GetTickCount64();
}

std::unique_ptr<CRemoteEndpoint> CWin32Ui::ListenRemote(CUiWindow& /*wnd*/,
                                                        const std::string& /*strCaption*/) {
    // Real windows are found by their caption and take other processes' messages themselves.
    return nullptr;
}

// ---- The public entry

std::unique_ptr<CUiBackend> CreateWin32Ui() {
    return std::make_unique<CWin32Ui>();
}

HWND Win32WindowOf(const CUiWindow& wnd) {
    auto* pUi = dynamic_cast<CWin32Ui*>(&GetUiBackend());
    return pUi ? pUi->HwndOf(&wnd) : nullptr;
}

HWND Win32ControlOf(const CDialog& dlg, int nId) {
    auto* pUi = dynamic_cast<CWin32Ui*>(&GetUiBackend());
    CWin32Dialog* pDlg = pUi ? pUi->DialogOf(dlg) : nullptr;
    return pDlg ? pDlg->Ctrl(nId) : nullptr;
}

HWND Win32BrowserFallbackOf(const CDialog& dlg, int nId) {
    auto* pUi = dynamic_cast<CWin32Ui*>(&GetUiBackend());
    CWin32Dialog* pDlg = pUi ? pUi->DialogOf(dlg) : nullptr;
    CWin32Browser* pBrowser = pDlg ? pDlg->Browser(nId) : nullptr;
    return pBrowser ? pBrowser->FallbackWindow() : nullptr;
}
