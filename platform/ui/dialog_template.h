// Dialog templates as data, and dialog units turned into pixels; portable.
#pragma once

#include "platform/ui/ui_types.h"

#include <cstdint>
#include <string>
#include <vector>

// What a control is. Backends map each kind to their own widget.
enum class CCtrlKind {
    Static,     // a line of text
    PushButton, // a button; the default one carries CTRL_DEFAULT
    CheckBox,   // an automatic check box: a click toggles the mark, then notifies
    GroupBox,   // a frame around other controls; never takes input
    Edit,       // a one-line text box
    ListBox,    // a list of text lines
    ListView,   // a list view in report view (rows and columns)
    WebBrowser, // an embedded web page
};

// Control styles that change behaviour; a backend translates them to its own.
enum CCtrlStyle : std::uint32_t {
    CTRL_NONE = 0,
    CTRL_HIDDEN = 1u << 0,            // starts invisible
    CTRL_DISABLED = 1u << 1,          // starts disabled
    CTRL_TABSTOP = 1u << 2,           // reachable with the Tab key
    CTRL_BORDER = 1u << 3,            // drawn with a border
    CTRL_DEFAULT = 1u << 4,           // push button: the default button, Enter presses it
    CTRL_PASSWORD = 1u << 5,          // edit: shows bullets instead of the text
    CTRL_READONLY = 1u << 6,          // edit: read-only from the start
    CTRL_AUTOHSCROLL = 1u << 7,       // edit: scrolls sideways as text is typed
    CTRL_NOTIFY = 1u << 8,            // list box: reports selection changes and double clicks
    CTRL_SORT = 1u << 9,              // list box: AddString keeps the lines sorted
    CTRL_NOINTEGRALHEIGHT = 1u << 10, // list box: keeps its exact height
    CTRL_VSCROLL = 1u << 11,          // vertical scroll bar
    CTRL_SINGLESEL = 1u << 12,        // list view: one row selected at most
    CTRL_SHOWSELALWAYS = 1u << 13,    // list view: the selection shows without focus
    CTRL_NOSORTHEADER = 1u << 14,     // list view: headings are not buttons
    CTRL_REPORT = 1u << 15,           // list view: report view
};

// Window styles of the dialog itself.
enum CDlgStyle : std::uint32_t {
    DLG_NONE = 0,
    DLG_POPUP = 1u << 0,
    DLG_CAPTION = 1u << 1,    // a title bar
    DLG_SYSMENU = 1u << 2,    // a system menu and a close box in the title bar
    DLG_THICKFRAME = 1u << 3, // a sizing border
    DLG_MINIMIZEBOX = 1u << 4,
    DLG_MODALFRAME = 1u << 5,
    DLG_APPWINDOW = 1u << 6, // shown in the taskbar
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
    std::uint32_t dwStyle = CTRL_NONE;
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
    std::uint32_t dwStyle = DLG_NONE;
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
