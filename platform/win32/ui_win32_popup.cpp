// The Win32 backend's shaped popup (the info-tip) and its GDI drawing surface; platform code.
#include <windows.h>

#include "platform/win32/ui_win32_internal.h"

namespace {

int SysColorIndex(CSysColor color) {
    switch (color) {
    case CSysColor::Window:
        return COLOR_WINDOW;
    case CSysColor::WindowText:
        return COLOR_WINDOWTEXT;
    case CSysColor::ScrollBar:
        return COLOR_SCROLLBAR;
    case CSysColor::ButtonFace:
        return COLOR_BTNFACE;
    }
    return COLOR_WINDOW;
}

} // namespace

// ---- CGdiSurface

void CGdiSurface::FillRegion(const CRegionShape& shape, CSysColor color) {
    HRGN hrgn = Win32MakeRegion(shape);
    if (!hrgn)
        return;
    FillRgn(m_hdc, hrgn, GetSysColorBrush(SysColorIndex(color)));
    DeleteObject(hrgn);
}

void CGdiSurface::FrameRegion(const CRegionShape& shape, CSysColor color, int cx, int cy) {
    HRGN hrgn = Win32MakeRegion(shape);
    if (!hrgn)
        return;
    FrameRgn(m_hdc, hrgn, GetSysColorBrush(SysColorIndex(color)), cx, cy);
    DeleteObject(hrgn);
}

void CGdiSurface::DrawTextIn(const CRect& rc, const std::string& strText, CUiFont /*font*/) {
    HGDIOBJ hOld = SelectObject(m_hdc, GetStockObject(DEFAULT_GUI_FONT));
    const int nOldMode = SetBkMode(m_hdc, TRANSPARENT);
    RECT r = Win32Rect(rc);
    ::DrawTextA(m_hdc, strText.c_str(), static_cast<int>(strText.size()), &r, 0);
    SetBkMode(m_hdc, nOldMode);
    SelectObject(m_hdc, hOld);
}

void CGdiSurface::DrawIcon(CPoint pt, int nIconId, CSize size) {
    HICON hIcon = Win32LoadIcon(nIconId, size.cx, size.cy);
    if (!hIcon)
        return;
    DrawIconEx(m_hdc, pt.x, pt.y, hIcon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
    DestroyIcon(hIcon);
}

// ---- CWin32Popup

void CWin32Popup::RegisterPopupClass() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = CWin32Ui::kPopupClass;
    RegisterClassW(&wc); // a second backend of the process finds it registered
}

CWin32Popup::CWin32Popup(CWin32Ui& ui, CPopupWindow& owner, HWND hwndOwner)
    : m_ui(ui), m_popup(owner) {
    // Never activated, above other windows, and no taskbar button of its own.
    m_hwnd = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                             CWin32Ui::kPopupClass, L"", WS_POPUP, 0, 0, 0, 0, hwndOwner, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (m_hwnd)
        m_ui.Register(m_popup, m_hwnd, nullptr);
}

CWin32Popup::~CWin32Popup() {
    m_ui.Unregister(m_popup);
    if (m_hwnd) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

void CWin32Popup::SetRegion(const CRegionShape& shape) {
    if (!m_hwnd)
        return;
    // The window owns the region from here on.
    HRGN hrgn = Win32MakeRegion(shape);
    if (hrgn && !SetWindowRgn(m_hwnd, hrgn, TRUE))
        DeleteObject(hrgn);
}

LRESULT CALLBACK CWin32Popup::WndProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<CWin32Popup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, nMsg, wParam, lParam);
    switch (nMsg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        CGdiSurface surface(hdc);
        self->m_popup.OnPaint(surface);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the window paints all of itself
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_TIMER:
        self->m_popup.WindowProc(WM_TIMER, wParam, 0);
        return 0;
    default:
        break;
    }
    if (nMsg >= WM_USER && nMsg < 0xC000)
        return self->m_popup.WindowProc(nMsg, wParam, lParam);
    return DefWindowProcW(hwnd, nMsg, wParam, lParam);
}
