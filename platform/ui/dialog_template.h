// Dialog templates as data, and dialog units turned into pixels; portable.
#pragma once

#include "platform/ui/ui_types.h"

#include <cstdint>
#include <string>
#include <vector>

// What a control is. Backends map each kind to their own widget.
enum class CCtrlKind {
    Static,     // a line of text
    PushButton, // a button; the default one carries CS_DEFAULT
    CheckBox,   // an automatic check box: a click toggles the mark, then notifies
    GroupBox,   // a frame around other controls; never takes input
    Edit,       // a one-line text box
    ListBox,    // a list of text lines
    ListView,   // a list view in report view (rows and columns)
    WebBrowser, // an embedded web page
};

// Control styles that change behaviour; a backend translates them to its own.
enum CCtrlStyle : std::uint32_t {
    CS_NONE = 0,
    CS_HIDDEN = 1u << 0,            // starts invisible
    CS_DISABLED = 1u << 1,          // starts disabled
    CS_TABSTOP = 1u << 2,           // reachable with the Tab key
    CS_BORDER = 1u << 3,            // drawn with a border
    CS_DEFAULT = 1u << 4,           // push button: the default button, Enter presses it
    CS_PASSWORD = 1u << 5,          // edit: shows bullets instead of the text
    CS_READONLY = 1u << 6,          // edit: read-only from the start
    CS_AUTOHSCROLL = 1u << 7,       // edit: scrolls sideways as text is typed
    CS_NOTIFY = 1u << 8,            // list box: reports selection changes and double clicks
    CS_SORT = 1u << 9,              // list box: AddString keeps the lines sorted
    CS_NOINTEGRALHEIGHT = 1u << 10, // list box: keeps its exact height
    CS_VSCROLL = 1u << 11,          // vertical scroll bar
    CS_SINGLESEL = 1u << 12,        // list view: one row selected at most
    CS_SHOWSELALWAYS = 1u << 13,    // list view: the selection shows without focus
    CS_NOSORTHEADER = 1u << 14,     // list view: headings are not buttons
    CS_REPORT = 1u << 15,           // list view: report view
};

// Window styles of the dialog itself.
enum CDlgStyle : std::uint32_t {
    DS_NONE = 0,
    DS_POPUP = 1u << 0,
    DS_CAPTION = 1u << 1,    // a title bar
    DS_SYSMENU = 1u << 2,    // a system menu and a close box in the title bar
    DS_THICKFRAME = 1u << 3, // a sizing border
    DS_MINIMIZEBOX = 1u << 4,
    DS_MODALFRAME = 1u << 5,
    DS_APPWINDOW = 1u << 6, // shown in the taskbar
};

// One control: id (-1 for a static that no code addresses), kind, text, place and size in dialog
// units, styles. A web browser control carries its class id in strClassId.
struct CDlgItem {
    int nId = -1;
    CCtrlKind kind = CCtrlKind::Static;
    std::string strText;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    std::uint32_t dwStyle = CS_NONE;
    std::string strClassId;
};

// One dialog template: its resource id, caption, font, size in dialog units, styles and controls
// in creation order (which is also the order of the tab stops and of the z-order, first on top).
struct CDlgTemplate {
    int nId = 0;
    std::string strCaption;
    std::string strFontFace;
    int nFontPoints = 8;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    std::uint32_t dwStyle = DS_NONE;
    std::vector<CDlgItem> items;

    const CDlgItem* FindItem(int nItemId) const;
};

// a * b / c rounded to the nearest integer, halves away from zero, computed without overflow;
// 0 when c is 0. This is the rounding the Windows dialog manager applies to dialog units.
int UiMulDiv(int a, int b, int c);

// Dialog base units of a template's font. The dialog manager derives them from the font's text
// metrics: the horizontal unit is the average width of the 52 letters A-Z a-z, rounded
// ((extent / 26 + 1) / 2), the vertical unit is the font's character height. A dialog unit is a
// quarter of the horizontal unit across and an eighth of the vertical unit down.
struct CDialogBaseUnits {
    int cx = 0;
    int cy = 0;

    // From the pixel width of the string "A...Za...z" and the font's character height.
    static CDialogBaseUnits FromFontMetrics(int nAlphabetExtent, int nCharHeight);

    int ToPixelsX(int nDlu) const { return UiMulDiv(nDlu, cx, 4); }
    int ToPixelsY(int nDlu) const { return UiMulDiv(nDlu, cy, 8); }
    // Each of x, y, cx and cy converted on its own, as the dialog manager places controls.
    CRect ToPixels(int x, int y, int w, int h) const {
        return CRect::FromXywh(ToPixelsX(x), ToPixelsY(y), ToPixelsX(w), ToPixelsY(h));
    }
    CRect ItemRect(const CDlgItem& item) const {
        return ToPixels(item.x, item.y, item.cx, item.cy);
    }
};
