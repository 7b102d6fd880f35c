// Geometry, message numbers and control kinds shared by the dialog layer and its backends;
// portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Message arguments are as wide as a pointer, like the framework the dialogs were written for.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Message numbers and command ids keep their Windows values, so that the Win32 backend passes them
// through untouched. Each is declared only when <windows.h> has not already defined it, so a
// backend may include both headers in either order.
#ifndef WM_DESTROY
constexpr unsigned WM_DESTROY = 0x0002;
#endif
#ifndef WM_SIZE
constexpr unsigned WM_SIZE = 0x0005;
#endif
#ifndef WM_PAINT
constexpr unsigned WM_PAINT = 0x000F;
#endif
#ifndef WM_CLOSE
constexpr unsigned WM_CLOSE = 0x0010;
#endif
#ifndef WM_INITDIALOG
constexpr unsigned WM_INITDIALOG = 0x0110;
#endif
#ifndef WM_COMMAND
constexpr unsigned WM_COMMAND = 0x0111;
#endif
#ifndef WM_TIMER
constexpr unsigned WM_TIMER = 0x0113;
#endif
#ifndef WM_SIZING
constexpr unsigned WM_SIZING = 0x0214;
#endif
#ifndef WM_MOUSEMOVE
constexpr unsigned WM_MOUSEMOVE = 0x0200;
#endif
#ifndef WM_LBUTTONDOWN
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
#endif
#ifndef WM_RBUTTONDOWN
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
#endif
#ifndef WM_MBUTTONDOWN
constexpr unsigned WM_MBUTTONDOWN = 0x0207;
#endif
#ifndef WM_KEYDOWN
constexpr unsigned WM_KEYDOWN = 0x0100;
#endif
#ifndef WM_USER
constexpr unsigned WM_USER = 0x0400;
#endif
#ifndef IDOK
constexpr int IDOK = 1;
#endif
#ifndef IDCANCEL
constexpr int IDCANCEL = 2;
#endif
#ifndef IDYES
constexpr int IDYES = 6;
#endif
#ifndef IDNO
constexpr int IDNO = 7;
#endif
#ifndef MB_OK
constexpr unsigned MB_OK = 0x0;
#endif
#ifndef MB_OKCANCEL
constexpr unsigned MB_OKCANCEL = 0x1;
#endif
#ifndef MB_YESNO
constexpr unsigned MB_YESNO = 0x4;
#endif
#ifndef MB_ICONEXCLAMATION
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
#endif
#ifndef BN_CLICKED
constexpr int BN_CLICKED = 0;
#endif
#ifndef LBN_SELCHANGE
constexpr int LBN_SELCHANGE = 1;
#endif
#ifndef LBN_DBLCLK
constexpr int LBN_DBLCLK = 2;
#endif
#ifndef EN_CHANGE
constexpr int EN_CHANGE = 0x0300;
#endif
#ifndef VK_RETURN
constexpr int VK_RETURN = 0x0D;
#endif
#ifndef VK_ESCAPE
constexpr int VK_ESCAPE = 0x1B;
#endif

// The packing of a command's id and notification into wParam.
constexpr WPARAM MakeCommandParam(int nId, int nNotify) {
    return (static_cast<WPARAM>(static_cast<std::uint16_t>(nNotify)) << 16) |
           static_cast<std::uint16_t>(nId);
}
constexpr int CommandId(WPARAM w) {
    return static_cast<int>(w & 0xFFFF);
}
constexpr int CommandNotify(WPARAM w) {
    return static_cast<int>((w >> 16) & 0xFFFF);
}

struct CPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const CPoint&, const CPoint&) = default;
};

struct CSize {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const CSize&, const CSize&) = default;
};

// Left, top inclusive; right, bottom exclusive; pixels.
struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(CPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    static CRect FromXywh(int x, int y, int cx, int cy) { return {x, y, x + cx, y + cy}; }
    friend bool operator==(const CRect&, const CRect&) = default;
};

// The edge a user drags while sizing a window (the WMSZ_ values).
enum class CSizingEdge {
    Left = 1,
    Right = 2,
    Top = 3,
    TopLeft = 4,
    TopRight = 5,
    Bottom = 6,
    BottomLeft = 7,
    BottomRight = 8
};

// WM_SIZING carries the edge in wParam and a pointer to the proposed window rectangle (screen
// pixels) in lParam; the window's answer, the accepted rectangle, is written back through it.
inline LPARAM SizingParam(CRect* pRect) {
    return reinterpret_cast<LPARAM>(pRect);
}

// WM_SIZE carries the new client width in the low and the height in the high 16 bits of lParam.
constexpr LPARAM SizeParam(int cx, int cy) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(cy & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(cx & 0xFFFF));
}

// One window message: what a handler receives and what a post carries.
struct CUiMessage {
    unsigned nMsg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Names a window or one control of a dialog without a native handle: equal references name the
// same window. A null reference names nothing (no window under a point, say).
class CUiWindow;
struct CWindowRef {
    const CUiWindow* pWindow = nullptr;
    int nCtrlId = 0; // 0: the window itself
    explicit operator bool() const { return pWindow != nullptr; }
    friend bool operator==(const CWindowRef&, const CWindowRef&) = default;
};

// Colours a window paints with: the system's colours, picked by role.
enum class CSysColor { Window, WindowText, ScrollBar, ButtonFace };

// The fonts the dialogs draw text with, apart from a template's own font.
enum class CUiFont { DefaultGui };

// A region made of a rounded rectangle and a polygon (filled in alternate mode), united. An empty
// polygon leaves the rounded rectangle alone.
struct CRegionShape {
    CRect rcRound;
    CSize sizeCorner; // width and height of the corner ellipses
    std::vector<CPoint> polygon;
    friend bool operator==(const CRegionShape&, const CRegionShape&) = default;
};

// The account a window holds for a device's network shares (its user name and password boxes), so
// that the folder browser can sign in to the device without asking again; empty: anonymous.
struct CNetworkAccount {
    std::string strUser;
    std::string strPassword;
};
