// The program's dialog templates as data, one source for every backend; portable.
#include "resources/resources.h"

namespace {

constexpr const char* kWebBrowserClassId = "{8856F961-340A-11D0-A96B-00C04FD705A2}";
constexpr std::uint32_t kEdit = CTRL_AUTOHSCROLL | CTRL_BORDER | CTRL_TABSTOP;
constexpr std::uint32_t kButton = CTRL_TABSTOP;
constexpr std::uint32_t kCheck = CTRL_TABSTOP;

CDlgItem Item(int nId, CCtrlKind kind, const char* text, int x, int y, int cx, int cy,
              std::uint32_t style = CTRL_NONE) {
    CDlgItem item;
    item.nId = nId;
    item.kind = kind;
    item.strText = text;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.dwStyle = style;
    return item;
}

// The settings window: device list on the left, settings and options below it, the device's
// status page on the right.
CDlgTemplate MainDialog() {
    CDlgTemplate t;
    t.nId = IDD_MARLOWICK_DIALOG;
    t.strCaption = "BT Download Setting";
    t.strFontFace = "MS Sans Serif";
    t.nFontPoints = 8;
    t.cx = 703;
    t.cy = 333;
    t.dwStyle =
        DLG_POPUP | DLG_CAPTION | DLG_SYSMENU | DLG_THICKFRAME | DLG_MINIMIZEBOX | DLG_APPWINDOW;
    using K = CCtrlKind;
    t.items = {
        Item(IDC_STATIC_DEVICES, K::Static, "Network Storage System", 7, 9, 95, 8),
        Item(IDC_REFRESH, K::PushButton, "Refresh", 109, 7, 50, 14, kButton),
        Item(IDC_DEVICE_LIST, K::ListBox, "", 7, 25, 153, 110,
             CTRL_NOTIFY | CTRL_SORT | CTRL_NOINTEGRALHEIGHT | CTRL_VSCROLL | CTRL_BORDER |
                 CTRL_TABSTOP),
        Item(IDC_SETTINGS_BOX, K::GroupBox, "", 7, 139, 155, 81),
        Item(IDC_STATIC_ACCOUNT, K::Static, "Account:", 14, 152, 60, 8),
        Item(IDC_USERNAME, K::Edit, "", 78, 149, 57, 14, kEdit),
        Item(IDC_STATIC_PASSWORD, K::Static, "Password:", 14, 168, 59, 8),
        Item(IDC_PASSWORD, K::Edit, "", 78, 166, 57, 14, kEdit | CTRL_PASSWORD),
        Item(IDC_STATIC_TARGET, K::Static, "Target Device:", 14, 188, 60, 8),
        Item(IDC_TARGET_DEVICE, K::Edit, "", 78, 185, 57, 14, kEdit),
        Item(IDC_STATIC_DESTINATION, K::Static, "Destination:", 14, 204, 61, 8),
        Item(IDC_DESTINATION, K::Edit, "", 78, 202, 57, 14, kEdit),
        Item(IDC_BROWSE, K::PushButton, "...", 141, 201, 16, 14, kButton),
        Item(IDC_OPTIONS_BOX, K::GroupBox, "", 7, 224, 154, 73),
        Item(IDC_FILE_ASSOCIATION, K::CheckBox, "File Association Active", 14, 234, 143, 10,
             kCheck),
        Item(IDC_CONFIRM_DIALOG, K::CheckBox, "Confirm Dialog", 14, 252, 139, 10, kCheck),
        Item(IDC_MONITOR_PAGE, K::CheckBox, "Monitor device page", 14, 270, 142, 10, kCheck),
        Item(IDCANCEL, K::PushButton, "Close", 17, 305, 50, 14, kButton),
        Item(IDOK, K::PushButton, "Set", 83, 305, 50, 14, kButton | CTRL_DEFAULT),
        // Lies under Set; only one of the two is ever shown.
        Item(IDC_TRANSFER, K::PushButton, "Transfer", 81, 305, 50, 14, kButton),
        Item(IDC_WEB_BROWSER, K::WebBrowser, "", 173, 7, 523, 319, CTRL_TABSTOP),
    };
    t.items.back().strClassId = kWebBrowserClassId;
    return t;
}

// The busy dialog: one line of text; its buttons are hidden and only receive the commands that
// start and end the job.
CDlgTemplate BusyDialog() {
    CDlgTemplate t;
    t.nId = IDD_BUSY_DIALOG;
    t.strFontFace = "System";
    t.nFontPoints = 10;
    t.cx = 107;
    t.cy = 30;
    t.dwStyle = DLG_POPUP | DLG_CAPTION | DLG_MODALFRAME;
    using K = CCtrlKind;
    t.items = {
        Item(IDC_BUSY_STATUS, K::Static, "Searching .....", 7, 11, 93, 10),
        Item(IDOK, K::PushButton, "OK", 0, 0, 20, 14, CTRL_HIDDEN | CTRL_DEFAULT),
        Item(IDCANCEL, K::PushButton, "Cancel", 22, 0, 20, 14, CTRL_HIDDEN),
        Item(IDC_BUSY_START, K::PushButton, "Button1", 44, 0, 20, 14, CTRL_HIDDEN),
    };
    return t;
}

// The transfer queue window.
CDlgTemplate TransferDialog() {
    CDlgTemplate t;
    t.nId = IDD_TRANSFER_DIALOG;
    t.strCaption = "Transfer";
    t.strFontFace = "MS Shell Dlg";
    t.nFontPoints = 8;
    t.cx = 157;
    t.cy = 174;
    t.dwStyle = DLG_POPUP | DLG_CAPTION | DLG_SYSMENU | DLG_MODALFRAME;
    using K = CCtrlKind;
    t.items = {
        Item(IDC_TRANSFER_LIST, K::ListView, "", 7, 27, 142, 113,
             CTRL_REPORT | CTRL_SINGLESEL | CTRL_SHOWSELALWAYS | CTRL_NOSORTHEADER | CTRL_BORDER |
                 CTRL_TABSTOP),
        Item(-1, K::Static, "Transfer list:", 7, 11, 42, 8),
        Item(IDC_TRANSFER_NEXT, K::PushButton, "Transfer", 115, 7, 35, 14, kButton),
        Item(IDOK, K::PushButton, "OK", 100, 153, 50, 14, kButton | CTRL_DEFAULT),
        Item(IDCANCEL, K::PushButton, "Cancel", 35, 153, 50, 14, kButton),
    };
    return t;
}

} // namespace

const CDlgTemplate* FindDialogTemplate(int nId) {
    static const CDlgTemplate main = MainDialog();
    static const CDlgTemplate busy = BusyDialog();
    static const CDlgTemplate transfer = TransferDialog();
    switch (nId) {
    case IDD_MARLOWICK_DIALOG:
        return &main;
    case IDD_BUSY_DIALOG:
        return &busy;
    case IDD_TRANSFER_DIALOG:
        return &transfer;
    default:
        return nullptr;
    }
}

const CDlgTemplate& GetDialogTemplate(int nId) {
    static const CDlgTemplate empty;
    const CDlgTemplate* p = FindDialogTemplate(nId);
    return p ? *p : empty;
}
