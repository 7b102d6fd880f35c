// The Win32 backend's dialog peer: a dialog-manager dialog from the template, its controls by id,
// and the routing of its messages to the layer; platform code.
#include <windows.h>

#include <commctrl.h>

#include "platform/debug_output.h"
#include "platform/win32/ui_win32_browser.h"
#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/ui_win32_template.h"

#include <algorithm>

CWin32Dialog::CWin32Dialog(CWin32Ui& ui, CDialog& owner, const CDlgTemplate& tmpl,
                           CUiWindow* pParent)
    : m_ui(ui), m_dialog(owner), m_tmpl(tmpl), m_pParent(pParent) {
    m_ui.Register(m_dialog, nullptr, this);
}

CWin32Dialog::~CWin32Dialog() {
    m_browsers.clear();
    m_ui.Unregister(m_dialog);
    if (m_hwnd) {
        // The layer has let go of the window: nothing reaches it from here on.
        SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        DestroyWindow(m_hwnd);
    }
    if (m_hIconBig)
        DestroyIcon(m_hIconBig);
    if (m_hIconSmall)
        DestroyIcon(m_hIconSmall);
}

int CWin32Dialog::RunModal() {
    HWND hwndOwner = m_ui.HwndOf(m_pParent);
    if (!hwndOwner)
        hwndOwner = m_ui.ActiveModalWindow();
    const std::vector<WORD> words = BuildDialogTemplate(m_tmpl, CWin32Ui::kBrowserHostClass);
    // WM_INITDIALOG arrives inside this call, with the controls made and the window hidden.
    HWND hwnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           reinterpret_cast<LPCDLGTEMPLATEW>(words.data()),
                                           hwndOwner, DlgProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd) {
        mwDebugOutput("dialog " + std::to_string(m_tmpl.nId) + ": cannot create (error " +
                      std::to_string(GetLastError()) + ")");
        return -1;
    }
    if (m_bEnded)
        return m_nResult;
    return m_ui.RunModalLoop(*this, hwndOwner);
}

void CWin32Dialog::EndModal(int nResult) {
    m_bEnded = true;
    m_nResult = nResult;
    // Wakes the loop, should it be waiting.
    if (m_hwnd)
        PostMessageW(m_hwnd, WM_NULL, 0, 0);
}

INT_PTR CALLBACK CWin32Dialog::DlgProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    CWin32Dialog* self = nullptr;
    if (nMsg == WM_INITDIALOG) {
        self = reinterpret_cast<CWin32Dialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
        self->m_ui.Register(self->m_dialog, hwnd, self);
    } else {
        self = reinterpret_cast<CWin32Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    return self ? self->OnDlgMessage(nMsg, wParam, lParam) : FALSE;
}

INT_PTR CWin32Dialog::OnDlgMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    switch (nMsg) {
    case WM_INITDIALOG:
        for (const CDlgItem& item : m_tmpl.items)
            if (item.kind == CCtrlKind::WebBrowser && Ctrl(item.nId))
                m_browsers[item.nId] = std::make_shared<CWin32Browser>(
                    Ctrl(item.nId), item.strClassId, m_dialog.GetPost());
        // TRUE lets the dialog manager put the focus on the first tab stop.
        return m_dialog.WindowProc(WM_INITDIALOG, 0, 0) != 0 ? TRUE : FALSE;
    case WM_COMMAND:
        return ForwardCommand(wParam, lParam) ? TRUE : FALSE;
    case WM_CLOSE:
        m_dialog.WindowProc(WM_CLOSE, 0, 0);
        return TRUE;
    case WM_TIMER:
        m_dialog.WindowProc(WM_TIMER, wParam, 0);
        return TRUE;
    case WM_SIZING: {
        auto* pRect = reinterpret_cast<RECT*>(lParam);
        CRect rc = LayerRect(*pRect);
        m_dialog.WindowProc(WM_SIZING, wParam, SizingParam(&rc));
        *pRect = Win32Rect(rc);
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_SIZE:
        m_dialog.WindowProc(WM_SIZE, wParam, SizeParam(LOWORD(lParam), HIWORD(lParam)));
        return FALSE;
    case WM_PAINT: {
        // The dialog may paint its client area (the main window its icon while minimized);
        // the background is the dialog manager's either way.
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(m_hwnd, &ps);
        CGdiSurface surface(hdc);
        m_dialog.OnPaint(surface);
        EndPaint(m_hwnd, &ps);
        return TRUE;
    }
    case WM_QUERYDRAGICON:
        // The icon the dialog gave itself (the main window: icon 128), dragged when minimized.
        return reinterpret_cast<INT_PTR>(m_hIconBig);
    default:
        break;
    }
    // User messages (another process's among them) go to the layer's message map; the dialog
    // manager keeps its own three (DM_GETDEFID, DM_SETDEFID, DM_REPOSITION).
    if (nMsg >= WM_USER && nMsg < 0xC000 && nMsg > DM_REPOSITION) {
        const LRESULT lResult = m_dialog.WindowProc(nMsg, wParam, lParam);
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
    return FALSE;
}

bool CWin32Dialog::ForwardCommand(WPARAM wParam, LPARAM lParam) {
    // Only the user's input reaches the layer; code's changes were made under silence.
    if (m_nSilence > 0 || lParam == 0)
        return false;
    const int nId = static_cast<int>(LOWORD(wParam));
    const int nNotify = static_cast<int>(HIWORD(wParam));
    const CDlgItem* pItem = m_tmpl.FindItem(static_cast<short>(nId));
    if (!pItem)
        return false;
    bool bInput = false;
    switch (pItem->kind) {
    case CCtrlKind::PushButton:
    case CCtrlKind::CheckBox:
        bInput = nNotify == BN_CLICKED;
        break;
    case CCtrlKind::Static:
        bInput = nNotify == STN_CLICKED && (pItem->dwStyle & CTRL_NOTIFY);
        break;
    case CCtrlKind::Edit:
        bInput = nNotify == EN_CHANGE;
        break;
    case CCtrlKind::ListBox:
        bInput = nNotify == LBN_SELCHANGE || nNotify == LBN_DBLCLK;
        break;
    default:
        break;
    }
    if (!bInput)
        return false;
    m_dialog.WindowProc(WM_COMMAND, MakeCommandParam(pItem->nId, nNotify), 0);
    return true;
}

bool CWin32Dialog::PreTranslate(MSG& msg) {
    if (msg.message == WM_KEYDOWN) {
        const int nKey = static_cast<int>(msg.wParam);
        // Enter and Escape follow the layer's rule alone, so the dialog manager never sends its
        // own IDOK or IDCANCEL; other keys are the layer's only when PreTranslateMessage keeps
        // them, else the dialog manager's (Tab and the arrows move the focus).
        if (nKey == VK_RETURN || nKey == VK_ESCAPE) {
            m_dialog.HandleDialogKey(nKey);
            return true;
        }
        if (m_dialog.HandleDialogKey(nKey))
            return true;
    } else if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
        if (m_dialog.PreTranslateMessage({msg.message, msg.wParam, msg.lParam}))
            return true;
        return false;
    } else if (msg.message == WM_CHAR &&
               (msg.wParam == '\r' || msg.wParam == '\x1b' || msg.wParam == '\n')) {
        return true;
    }
    return m_hwnd && IsDialogMessageW(m_hwnd, &msg);
}

HWND CWin32Dialog::Ctrl(int nId) const {
    if (!m_hwnd || nId == -1 || !m_tmpl.FindItem(nId))
        return nullptr;
    return GetDlgItem(m_hwnd, nId);
}

HWND CWin32Dialog::Ctrl(int nId, CCtrlKind kind) const {
    const CDlgItem* pItem = m_tmpl.FindItem(nId);
    return pItem && pItem->kind == kind ? Ctrl(nId) : nullptr;
}

CWin32Browser* CWin32Dialog::Browser(int nId) const {
    const auto it = m_browsers.find(nId);
    return it == m_browsers.end() ? nullptr : it->second.get();
}

CWindowRef CWin32Dialog::ControlFromPoint(POINT pt) const {
    // In template order, which is the z-order (first on top); group boxes and plain statics let
    // the point through, as their hit test does.
    for (const CDlgItem& item : m_tmpl.items) {
        const bool bTransparent = item.kind == CCtrlKind::GroupBox ||
                                  (item.kind == CCtrlKind::Static && !(item.dwStyle & CTRL_NOTIFY));
        HWND hwnd = Ctrl(item.nId);
        if (bTransparent || !hwnd || !IsWindowVisible(hwnd))
            continue;
        RECT rc;
        ::GetWindowRect(hwnd, &rc);
        if (PtInRect(&rc, pt))
            return m_dialog.Ref(item.nId);
    }
    return m_dialog.Ref();
}

void CWin32Dialog::SetItemText(int nId, const std::string& strText) {
    if (HWND hwnd = Ctrl(nId)) {
        CSilence silence(*this);
        ::SetWindowTextA(hwnd, strText.c_str());
    }
}

std::string CWin32Dialog::GetItemText(int nId) const {
    HWND hwnd = Ctrl(nId);
    return hwnd ? Win32WindowText(hwnd) : std::string();
}

void CWin32Dialog::SetCheck(int nId, int nCheck) {
    if (HWND hwnd = Ctrl(nId)) {
        CSilence silence(*this);
        SendMessageW(hwnd, BM_SETCHECK, static_cast<WPARAM>(nCheck), 0);
    }
}

int CWin32Dialog::GetCheck(int nId) const {
    HWND hwnd = Ctrl(nId);
    return hwnd ? static_cast<int>(SendMessageW(hwnd, BM_GETCHECK, 0, 0)) : 0;
}

void CWin32Dialog::ShowItem(int nId, bool bShow) {
    if (HWND hwnd = Ctrl(nId)) {
        CSilence silence(*this);
        ::ShowWindow(hwnd, bShow ? SW_SHOW : SW_HIDE);
    }
}

bool CWin32Dialog::IsItemVisible(int nId) const {
    HWND hwnd = Ctrl(nId);
    return hwnd && IsWindowVisible(hwnd);
}

void CWin32Dialog::EnableItem(int nId, bool bEnable) {
    if (HWND hwnd = Ctrl(nId)) {
        CSilence silence(*this);
        EnableWindow(hwnd, bEnable ? TRUE : FALSE);
    }
}

bool CWin32Dialog::IsItemEnabled(int nId) const {
    HWND hwnd = Ctrl(nId);
    return hwnd && IsWindowEnabled(hwnd);
}

void CWin32Dialog::SetItemReadOnly(int nId, bool bReadOnly) {
    if (HWND hwnd = Ctrl(nId, CCtrlKind::Edit)) {
        CSilence silence(*this);
        SendMessageW(hwnd, EM_SETREADONLY, bReadOnly ? TRUE : FALSE, 0);
    }
}

bool CWin32Dialog::IsItemReadOnly(int nId) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::Edit);
    return hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY) != 0;
}

CRect CWin32Dialog::GetItemRect(int nId) const {
    RECT rc{};
    if (HWND hwnd = Ctrl(nId))
        ::GetWindowRect(hwnd, &rc);
    return LayerRect(rc);
}

void CWin32Dialog::MoveItem(int nId, const CRect& rc) {
    if (HWND hwnd = Ctrl(nId)) {
        CSilence silence(*this);
        ::MoveWindow(hwnd, rc.left, rc.top, rc.Width(), rc.Height(), TRUE);
    }
}

void CWin32Dialog::SetFocusItem(int nId) {
    if (HWND hwnd = Ctrl(nId)) {
        CSilence silence(*this);
        // Through the dialog manager, which moves the default button's mark with the focus.
        SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hwnd), TRUE);
    }
}

int CWin32Dialog::GetFocusItem() const {
    HWND hwnd = GetFocus();
    while (hwnd && m_hwnd && GetParent(hwnd) != m_hwnd && hwnd != m_hwnd)
        hwnd = GetParent(hwnd);
    if (!hwnd || hwnd == m_hwnd || !m_hwnd)
        return 0;
    const int nId = GetDlgCtrlID(hwnd);
    return m_tmpl.FindItem(nId) ? nId : 0;
}

// ---- List box

namespace {
int LbResult(LRESULT r) {
    return r == LB_ERR || r == LB_ERRSPACE ? -1 : static_cast<int>(r);
}
} // namespace

int CWin32Dialog::LbAddString(int nId, const std::string& strLine) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListBox);
    if (!hwnd)
        return -1;
    CSilence silence(*this);
    return LbResult(SendMessageA(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strLine.c_str())));
}

int CWin32Dialog::LbInsertString(int nId, int nIndex, const std::string& strLine) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListBox);
    if (!hwnd)
        return -1;
    CSilence silence(*this);
    return LbResult(SendMessageA(hwnd, LB_INSERTSTRING, static_cast<WPARAM>(nIndex),
                                 reinterpret_cast<LPARAM>(strLine.c_str())));
}

int CWin32Dialog::LbDeleteString(int nId, int nIndex) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListBox);
    if (!hwnd || nIndex < 0)
        return -1;
    CSilence silence(*this);
    return LbResult(SendMessageA(hwnd, LB_DELETESTRING, static_cast<WPARAM>(nIndex), 0));
}

void CWin32Dialog::LbResetContent(int nId) {
    if (HWND hwnd = Ctrl(nId, CCtrlKind::ListBox)) {
        CSilence silence(*this);
        SendMessageA(hwnd, LB_RESETCONTENT, 0, 0);
    }
}

int CWin32Dialog::LbGetCount(int nId) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListBox);
    return hwnd ? std::max(0, LbResult(SendMessageA(hwnd, LB_GETCOUNT, 0, 0))) : 0;
}

int CWin32Dialog::LbGetCurSel(int nId) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListBox);
    return hwnd ? LbResult(SendMessageA(hwnd, LB_GETCURSEL, 0, 0)) : -1;
}

void CWin32Dialog::LbSetCurSel(int nId, int nIndex) {
    if (HWND hwnd = Ctrl(nId, CCtrlKind::ListBox)) {
        CSilence silence(*this);
        SendMessageA(hwnd, LB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
    }
}

std::string CWin32Dialog::LbGetText(int nId, int nIndex) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListBox);
    if (!hwnd || nIndex < 0)
        return {};
    const int n = LbResult(SendMessageA(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(nIndex), 0));
    if (n < 0)
        return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    const int nGot = LbResult(SendMessageA(hwnd, LB_GETTEXT, static_cast<WPARAM>(nIndex),
                                           reinterpret_cast<LPARAM>(out.data())));
    out.resize(static_cast<std::size_t>(std::max(nGot, 0)));
    return out;
}

// ---- List view (report view)

int CWin32Dialog::LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    if (!hwnd || nCol < 0)
        return -1;
    CSilence silence(*this);
    std::string strText = strHeading;
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.cx = nWidth;
    col.pszText = strText.data();
    col.iSubItem = nCol;
    return static_cast<int>(SendMessageA(hwnd, LVM_INSERTCOLUMNA, static_cast<WPARAM>(nCol),
                                         reinterpret_cast<LPARAM>(&col)));
}

int CWin32Dialog::LvGetColumnWidth(int nId, int nCol) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    return hwnd && nCol >= 0 ? static_cast<int>(SendMessageA(hwnd, LVM_GETCOLUMNWIDTH,
                                                             static_cast<WPARAM>(nCol), 0))
                             : 0;
}

int CWin32Dialog::LvInsertItem(int nId, int nRow, const std::string& strText) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    if (!hwnd || nRow < 0)
        return -1;
    CSilence silence(*this);
    std::string strCopy = strText;
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = nRow;
    item.pszText = strCopy.data();
    return static_cast<int>(
        SendMessageA(hwnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool CWin32Dialog::LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    if (!hwnd || nRow < 0 || nCol < 0 || nRow >= LvGetItemCount(nId))
        return false;
    CSilence silence(*this);
    std::string strCopy = strText;
    LVITEMA item{};
    item.iSubItem = nCol;
    item.pszText = strCopy.data();
    return SendMessageA(hwnd, LVM_SETITEMTEXTA, static_cast<WPARAM>(nRow),
                        reinterpret_cast<LPARAM>(&item)) != FALSE;
}

std::string CWin32Dialog::LvGetItemText(int nId, int nRow, int nCol) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    if (!hwnd || nRow < 0 || nCol < 0 || nRow >= LvGetItemCount(nId))
        return {};
    // The control copies at most the buffer; a longer text needs a larger one.
    for (std::size_t nSize = 256;; nSize *= 4) {
        std::string buffer(nSize, '\0');
        LVITEMA item{};
        item.iSubItem = nCol;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(nSize);
        const auto n = static_cast<std::size_t>(SendMessageA(
            hwnd, LVM_GETITEMTEXTA, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item)));
        if (n + 1 < nSize || nSize >= (1u << 20)) {
            buffer.resize(std::min(n, nSize));
            return buffer;
        }
    }
}

int CWin32Dialog::LvGetItemCount(int nId) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    return hwnd ? static_cast<int>(SendMessageA(hwnd, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

void CWin32Dialog::LvDeleteAllItems(int nId) {
    if (HWND hwnd = Ctrl(nId, CCtrlKind::ListView)) {
        CSilence silence(*this);
        SendMessageA(hwnd, LVM_DELETEALLITEMS, 0, 0);
    }
}

int CWin32Dialog::LvGetSelection(int nId) const {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    return hwnd ? static_cast<int>(
                      SendMessageA(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED))
                : -1;
}

void CWin32Dialog::LvSetSelection(int nId, int nRow) {
    HWND hwnd = Ctrl(nId, CCtrlKind::ListView);
    if (!hwnd)
        return;
    CSilence silence(*this);
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageA(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    if (nRow < 0 || nRow >= LvGetItemCount(nId))
        return;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(nRow),
                 reinterpret_cast<LPARAM>(&item));
}

void CWin32Dialog::Navigate(int nId, const std::string& strUrl) {
    if (CWin32Browser* pBrowser = Browser(nId)) {
        CSilence silence(*this);
        pBrowser->Navigate(strUrl);
    }
}

void CWin32Dialog::SetIcon(int nIconId) {
    if (!m_hwnd)
        return;
    HICON hBig = Win32LoadIcon(nIconId, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    HICON hSmall =
        Win32LoadIcon(nIconId, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hBig));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hSmall));
    if (m_hIconBig)
        DestroyIcon(m_hIconBig);
    if (m_hIconSmall)
        DestroyIcon(m_hIconSmall);
    m_hIconBig = hBig;
    m_hIconSmall = hSmall;
}
