// In-memory DLGTEMPLATEEX from the layer's template data; platform code.
#include "platform/win32/ui_win32_template.h"

#include <commctrl.h>

#include "platform/win32/ui_win32_internal.h"

namespace {

// Predefined control classes of a template, by atom.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kListBoxAtom = 0x0083;

class CTemplateWriter {
public:
    void Word(WORD w) { m_words.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Short(int n) { Word(static_cast<WORD>(static_cast<short>(n))); }
    void String(const std::wstring& str) {
        for (wchar_t ch : str)
            Word(static_cast<WORD>(ch));
        Word(0);
    }
    void AlignDword() {
        if (m_words.size() % 2 != 0)
            Word(0);
    }
    std::vector<WORD> Take() { return std::move(m_words); }

private:
    std::vector<WORD> m_words;
};

bool Has(std::uint32_t dwStyle, std::uint32_t dwFlag) {
    return (dwStyle & dwFlag) != 0;
}

} // namespace

DWORD DialogStyle(const CDlgTemplate& tmpl) {
    const std::uint32_t s = tmpl.dwStyle;
    DWORD style = DS_SETFONT | DS_3DLOOK;
    if (Has(s, DLG_POPUP))
        style |= WS_POPUP;
    if (Has(s, DLG_CAPTION))
        style |= WS_CAPTION;
    if (Has(s, DLG_SYSMENU))
        style |= WS_SYSMENU;
    if (Has(s, DLG_THICKFRAME))
        style |= WS_THICKFRAME;
    if (Has(s, DLG_MINIMIZEBOX))
        style |= WS_MINIMIZEBOX;
    if (Has(s, DLG_MODALFRAME))
        style |= DS_MODALFRAME;
    return style;
}

DWORD DialogExStyle(const CDlgTemplate& tmpl) {
    return Has(tmpl.dwStyle, DLG_APPWINDOW) ? WS_EX_APPWINDOW : 0;
}

DWORD ControlStyle(const CDlgItem& item) {
    const std::uint32_t s = item.dwStyle;
    DWORD style = WS_CHILD;
    if (!Has(s, CTRL_HIDDEN))
        style |= WS_VISIBLE;
    if (Has(s, CTRL_DISABLED))
        style |= WS_DISABLED;
    if (Has(s, CTRL_TABSTOP))
        style |= WS_TABSTOP;
    if (Has(s, CTRL_BORDER))
        style |= WS_BORDER;
    if (Has(s, CTRL_VSCROLL))
        style |= WS_VSCROLL;
    switch (item.kind) {
    case CCtrlKind::Static:
        style |= SS_LEFT | (Has(s, CTRL_NOTIFY) ? SS_NOTIFY : 0);
        break;
    case CCtrlKind::PushButton:
        style |= Has(s, CTRL_DEFAULT) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        break;
    case CCtrlKind::CheckBox:
        style |= BS_AUTOCHECKBOX;
        break;
    case CCtrlKind::GroupBox:
        style |= BS_GROUPBOX;
        break;
    case CCtrlKind::Edit:
        style |= ES_LEFT;
        if (Has(s, CTRL_AUTOHSCROLL))
            style |= ES_AUTOHSCROLL;
        if (Has(s, CTRL_PASSWORD))
            style |= ES_PASSWORD;
        if (Has(s, CTRL_READONLY))
            style |= ES_READONLY;
        break;
    case CCtrlKind::ListBox:
        if (Has(s, CTRL_NOTIFY))
            style |= LBS_NOTIFY;
        if (Has(s, CTRL_SORT))
            style |= LBS_SORT;
        if (Has(s, CTRL_NOINTEGRALHEIGHT))
            style |= LBS_NOINTEGRALHEIGHT;
        break;
    case CCtrlKind::ListView:
        if (Has(s, CTRL_REPORT))
            style |= LVS_REPORT;
        if (Has(s, CTRL_SINGLESEL))
            style |= LVS_SINGLESEL;
        if (Has(s, CTRL_SHOWSELALWAYS))
            style |= LVS_SHOWSELALWAYS;
        if (Has(s, CTRL_NOSORTHEADER))
            style |= LVS_NOSORTHEADER;
        break;
    case CCtrlKind::WebBrowser:
        break;
    }
    return style;
}

std::vector<WORD> BuildDialogTemplate(const CDlgTemplate& tmpl,
                                      const wchar_t* pszBrowserHostClass) {
    CTemplateWriter w;
    w.Word(1);      // dlgVer
    w.Word(0xFFFF); // signature: the extended template
    w.Dword(0);     // helpID
    w.Dword(DialogExStyle(tmpl));
    w.Dword(DialogStyle(tmpl));
    w.Word(static_cast<WORD>(tmpl.items.size()));
    w.Short(tmpl.x);
    w.Short(tmpl.y);
    w.Short(tmpl.cx);
    w.Short(tmpl.cy);
    w.Word(0); // no menu
    w.Word(0); // the dialog class
    w.String(Win32Widen(tmpl.strCaption));
    w.Word(static_cast<WORD>(tmpl.nFontPoints));
    w.Word(kDialogFontWeight);
    w.Word(MAKEWORD(FALSE, DEFAULT_CHARSET)); // italic, charset
    w.String(Win32Widen(tmpl.strFontFace));
    for (const CDlgItem& item : tmpl.items) {
        w.AlignDword();
        w.Dword(0); // helpID
        w.Dword(0); // exStyle: the dialog manager adds the client edge of bordered controls
        w.Dword(ControlStyle(item));
        w.Short(item.x);
        w.Short(item.y);
        w.Short(item.cx);
        w.Short(item.cy);
        w.Dword(static_cast<DWORD>(item.nId));
        switch (item.kind) {
        case CCtrlKind::Static:
            w.Word(0xFFFF);
            w.Word(kStaticAtom);
            break;
        case CCtrlKind::PushButton:
        case CCtrlKind::CheckBox:
        case CCtrlKind::GroupBox:
            w.Word(0xFFFF);
            w.Word(kButtonAtom);
            break;
        case CCtrlKind::Edit:
            w.Word(0xFFFF);
            w.Word(kEditAtom);
            break;
        case CCtrlKind::ListBox:
            w.Word(0xFFFF);
            w.Word(kListBoxAtom);
            break;
        case CCtrlKind::ListView:
            w.String(WC_LISTVIEWW);
            break;
        case CCtrlKind::WebBrowser:
            w.String(pszBrowserHostClass);
            break;
        }
        w.String(Win32Widen(item.strText));
        w.Word(0); // no creation data
    }
    return w.Take();
}
