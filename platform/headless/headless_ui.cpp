// The headless ui backend: windows as data, fixed metrics, virtual time; portable.
#include "platform/headless/headless_ui.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

struct CFontCell {
    int cx;
    int cy;
};

CFontCell FontCell(const std::string& strFace, int nPoints) {
    if ((strFace == "MS Sans Serif" || strFace == "MS Shell Dlg") && nPoints == 8)
        return {6, 13};
    if (strFace == "System" && nPoints == 10)
        return {8, 16};
    const int cy = static_cast<int>(std::lround(nPoints * 4.0 / 3.0));
    return {std::max(1, cy / 2), std::max(1, cy)};
}

bool HasFrame(std::uint32_t dwStyle) {
    return (dwStyle & (DLG_CAPTION | DLG_MODALFRAME | DLG_THICKFRAME)) != 0;
}

// Sorted list boxes order their lines without regard to case.
bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lx = static_cast<unsigned char>(x);
        const auto ly = static_cast<unsigned char>(y);
        return std::tolower(lx) < std::tolower(ly);
    });
}

} // namespace

void HeadlessSetTimer(CHeadlessUi& ui, const CUiWindow* pWnd, std::uintptr_t nId,
                      unsigned nElapse) {
    ui.SetTimer(pWnd, nId, nElapse);
}

bool HeadlessKillTimer(CHeadlessUi& ui, const CUiWindow* pWnd, std::uintptr_t nId) {
    return ui.KillTimer(pWnd, nId);
}

// ---- The dialog record

CHeadlessDialog::CHeadlessDialog(CHeadlessUi& ui, CDialog& owner, const CDlgTemplate& tmpl)
    : CHeadlessPeer<CDialogPeer>(ui, owner), m_dialog(owner), m_tmpl(tmpl) {
    m_strText = tmpl.strCaption;
    const CDialogBaseUnits base = ui.GetBaseUnits(tmpl.strFontFace, tmpl.nFontPoints);
    m_nFrame = HasFrame(tmpl.dwStyle) ? CHeadlessUi::kFrame : 0;
    m_nCaption = (tmpl.dwStyle & DLG_CAPTION) ? CHeadlessUi::kCaption : 0;
    const int cx = base.ToPixelsX(tmpl.cx);
    const int cy = base.ToPixelsY(tmpl.cy);
    m_rcWindow = CRect::FromXywh(0, 0, cx + 2 * m_nFrame, cy + 2 * m_nFrame + m_nCaption);
    for (const auto& item : tmpl.items) {
        CHeadlessCtrl c;
        c.item = item;
        c.strText = item.strText;
        c.rc = base.ItemRect(item);
        c.bVisible = (item.dwStyle & CTRL_HIDDEN) == 0;
        c.bEnabled = (item.dwStyle & CTRL_DISABLED) == 0;
        c.bReadOnly = (item.dwStyle & CTRL_READONLY) != 0;
        m_ctrls.push_back(std::move(c));
    }
    ui.m_dialogs.push_back(this);
}

CHeadlessDialog::~CHeadlessDialog() {
    m_ui.ForgetWindow(&m_owner);
    std::erase(m_ui.m_dialogs, this);
}

int CHeadlessDialog::RunModal() {
    return m_ui.RunLoop(*this);
}

void CHeadlessDialog::SetItemText(int nId, const std::string& strText) {
    if (auto* c = Find(nId))
        c->strText = strText;
}

std::string CHeadlessDialog::GetItemText(int nId) const {
    const auto* c = Find(nId);
    return c ? c->strText : std::string();
}

void CHeadlessDialog::SetCheck(int nId, int nCheck) {
    if (auto* c = Find(nId))
        c->nCheck = nCheck;
}

int CHeadlessDialog::GetCheck(int nId) const {
    const auto* c = Find(nId);
    return c ? c->nCheck : 0;
}

void CHeadlessDialog::ShowItem(int nId, bool bShow) {
    if (auto* c = Find(nId))
        c->bVisible = bShow;
}

bool CHeadlessDialog::IsItemVisible(int nId) const {
    const auto* c = Find(nId);
    return c && c->bVisible && m_bVisible;
}

void CHeadlessDialog::EnableItem(int nId, bool bEnable) {
    if (auto* c = Find(nId))
        c->bEnabled = bEnable;
}

bool CHeadlessDialog::IsItemEnabled(int nId) const {
    const auto* c = Find(nId);
    return c && c->bEnabled;
}

void CHeadlessDialog::SetItemReadOnly(int nId, bool bReadOnly) {
    if (auto* c = Find(nId); c && c->item.kind == CCtrlKind::Edit)
        c->bReadOnly = bReadOnly;
}

bool CHeadlessDialog::IsItemReadOnly(int nId) const {
    const auto* c = Find(nId);
    return c && c->bReadOnly;
}

CRect CHeadlessDialog::GetItemRect(int nId) const {
    const auto* c = Find(nId);
    if (!c)
        return {};
    const CPoint o = ClientToScreen({0, 0});
    return {c->rc.left + o.x, c->rc.top + o.y, c->rc.right + o.x, c->rc.bottom + o.y};
}

void CHeadlessDialog::MoveItem(int nId, const CRect& rc) {
    if (auto* c = Find(nId))
        c->rc = rc;
}

void CHeadlessDialog::SetFocusItem(int nId) {
    if (Find(nId))
        m_nFocus = nId;
}

int CHeadlessDialog::LbAddString(int nId, const std::string& strLine) {
    auto* c = Find(nId, CCtrlKind::ListBox);
    if (!c)
        return -1;
    auto pos = c->lines.end();
    if (c->item.dwStyle & CTRL_SORT)
        pos = std::upper_bound(c->lines.begin(), c->lines.end(), strLine, LessNoCase);
    return static_cast<int>(c->lines.insert(pos, strLine) - c->lines.begin());
}

int CHeadlessDialog::LbInsertString(int nId, int nIndex, const std::string& strLine) {
    auto* c = Find(nId, CCtrlKind::ListBox);
    if (!c || nIndex > static_cast<int>(c->lines.size()))
        return -1;
    if (nIndex < 0)
        nIndex = static_cast<int>(c->lines.size());
    c->lines.insert(c->lines.begin() + nIndex, strLine);
    return nIndex;
}

int CHeadlessDialog::LbDeleteString(int nId, int nIndex) {
    auto* c = Find(nId, CCtrlKind::ListBox);
    if (!c || nIndex < 0 || nIndex >= static_cast<int>(c->lines.size()))
        return -1;
    c->lines.erase(c->lines.begin() + nIndex);
    if (c->nCurSel == nIndex)
        c->nCurSel = -1;
    else if (c->nCurSel > nIndex)
        --c->nCurSel;
    return static_cast<int>(c->lines.size());
}

void CHeadlessDialog::LbResetContent(int nId) {
    if (auto* c = Find(nId, CCtrlKind::ListBox)) {
        c->lines.clear();
        c->nCurSel = -1;
    }
}

int CHeadlessDialog::LbGetCount(int nId) const {
    const auto* c = Find(nId, CCtrlKind::ListBox);
    return c ? static_cast<int>(c->lines.size()) : 0;
}

int CHeadlessDialog::LbGetCurSel(int nId) const {
    const auto* c = Find(nId, CCtrlKind::ListBox);
    return c ? c->nCurSel : -1;
}

void CHeadlessDialog::LbSetCurSel(int nId, int nIndex) {
    if (auto* c = Find(nId, CCtrlKind::ListBox))
        c->nCurSel = (nIndex >= 0 && nIndex < static_cast<int>(c->lines.size())) ? nIndex : -1;
}

std::string CHeadlessDialog::LbGetText(int nId, int nIndex) const {
    const auto* c = Find(nId, CCtrlKind::ListBox);
    if (!c || nIndex < 0 || nIndex >= static_cast<int>(c->lines.size()))
        return {};
    return c->lines[static_cast<std::size_t>(nIndex)];
}

int CHeadlessDialog::LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) {
    auto* c = Find(nId, CCtrlKind::ListView);
    if (!c || nCol < 0)
        return -1;
    nCol = std::min(nCol, static_cast<int>(c->columns.size()));
    c->columns.insert(c->columns.begin() + nCol, {strHeading, nWidth});
    return nCol;
}

int CHeadlessDialog::LvGetColumnWidth(int nId, int nCol) const {
    const auto* c = Find(nId, CCtrlKind::ListView);
    if (!c || nCol < 0 || nCol >= static_cast<int>(c->columns.size()))
        return 0;
    return c->columns[static_cast<std::size_t>(nCol)].second;
}

int CHeadlessDialog::LvInsertItem(int nId, int nRow, const std::string& strText) {
    auto* c = Find(nId, CCtrlKind::ListView);
    if (!c || nRow < 0)
        return -1;
    nRow = std::min(nRow, static_cast<int>(c->rows.size()));
    c->rows.insert(c->rows.begin() + nRow, std::vector<std::string>{strText});
    return nRow;
}

bool CHeadlessDialog::LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) {
    auto* c = Find(nId, CCtrlKind::ListView);
    if (!c || nRow < 0 || nRow >= static_cast<int>(c->rows.size()) || nCol < 0)
        return false;
    auto& row = c->rows[static_cast<std::size_t>(nRow)];
    if (static_cast<int>(row.size()) <= nCol)
        row.resize(static_cast<std::size_t>(nCol) + 1);
    row[static_cast<std::size_t>(nCol)] = strText;
    return true;
}

std::string CHeadlessDialog::LvGetItemText(int nId, int nRow, int nCol) const {
    const auto* c = Find(nId, CCtrlKind::ListView);
    if (!c || nRow < 0 || nRow >= static_cast<int>(c->rows.size()) || nCol < 0)
        return {};
    const auto& row = c->rows[static_cast<std::size_t>(nRow)];
    return nCol < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(nCol)]
                                               : std::string();
}

int CHeadlessDialog::LvGetItemCount(int nId) const {
    const auto* c = Find(nId, CCtrlKind::ListView);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

void CHeadlessDialog::LvDeleteAllItems(int nId) {
    if (auto* c = Find(nId, CCtrlKind::ListView)) {
        c->rows.clear();
        c->nSelRow = -1;
    }
}

int CHeadlessDialog::LvGetSelection(int nId) const {
    const auto* c = Find(nId, CCtrlKind::ListView);
    return c ? c->nSelRow : -1;
}

void CHeadlessDialog::LvSetSelection(int nId, int nRow) {
    if (auto* c = Find(nId, CCtrlKind::ListView))
        c->nSelRow = (nRow >= 0 && nRow < static_cast<int>(c->rows.size())) ? nRow : -1;
}

void CHeadlessDialog::Navigate(int nId, const std::string& strUrl) {
    if (auto* c = Find(nId, CCtrlKind::WebBrowser))
        c->strUrl = strUrl;
}

CHeadlessCtrl* CHeadlessDialog::Find(int nId) {
    for (auto& c : m_ctrls)
        if (c.item.nId == nId && nId != -1)
            return &c;
    return nullptr;
}

const CHeadlessCtrl* CHeadlessDialog::Find(int nId) const {
    return const_cast<CHeadlessDialog*>(this)->Find(nId);
}

CHeadlessCtrl* CHeadlessDialog::Find(int nId, CCtrlKind kind) {
    auto* c = Find(nId);
    return c && c->item.kind == kind ? c : nullptr;
}

const CHeadlessCtrl* CHeadlessDialog::Find(int nId, CCtrlKind kind) const {
    const auto* c = Find(nId);
    return c && c->item.kind == kind ? c : nullptr;
}

// A control the user can reach: present, shown, enabled.
CHeadlessCtrl* CHeadlessDialog::Usable(int nId) {
    auto* c = Find(nId);
    return c && c->bVisible && c->bEnabled && m_bVisible ? c : nullptr;
}

// ---- The popup record

CHeadlessPopup::CHeadlessPopup(CHeadlessUi& ui, CPopupWindow& owner)
    : CHeadlessPeer<CPopupPeer>(ui, owner), m_popup(owner) {
    ui.m_popups.push_back(this);
}

CHeadlessPopup::~CHeadlessPopup() {
    m_ui.ForgetWindow(&m_owner);
    std::erase(m_ui.m_popups, this);
}

// ---- CHeadlessUi

CHeadlessUi::CHeadlessUi() : m_pQueue(std::make_shared<CPostQueue>()) {
    m_pPrevious = SetUiBackend(this);
}

CHeadlessUi::~CHeadlessUi() {
    SetUiBackend(m_pPrevious);
}

std::unique_ptr<CDialogPeer> CHeadlessUi::CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                           CUiWindow* /*pParent*/) {
    return std::make_unique<CHeadlessDialog>(*this, owner, tmpl);
}

std::unique_ptr<CPopupPeer> CHeadlessUi::CreatePopupPeer(CPopupWindow& owner,
                                                         CUiWindow* /*pOwnerWindow*/) {
    return std::make_unique<CHeadlessPopup>(*this, owner);
}

int CHeadlessUi::ShowMessageBox(CUiWindow* pOwner, const std::string& strText,
                                const std::string& strCaption, unsigned nType) {
    CShownMessageBox box{strText, strCaption, nType, pOwner ? pOwner->GetCaption() : std::string(),
                         0};
    if (m_fnMessageBox)
        return m_fnMessageBox(box);
    return (nType & 0xF) == MB_YESNO ? IDYES : IDOK;
}

std::optional<std::string> CHeadlessUi::BrowseForFolder(CUiWindow* /*pOwner*/,
                                                        const std::string& strTitle,
                                                        const std::string& strStartPath,
                                                        const CNetworkAccount& account) {
    return m_fnFolderBrowser ? m_fnFolderBrowser(strTitle, strStartPath, account) : std::nullopt;
}

CWindowRef CHeadlessUi::WindowFromPoint(CPoint pt) const {
    for (auto it = m_popups.rbegin(); it != m_popups.rend(); ++it)
        if ((*it)->m_bVisible && (*it)->m_rcWindow.Contains(pt))
            return (*it)->m_owner.Ref();
    for (auto it = m_dialogs.rbegin(); it != m_dialogs.rend(); ++it) {
        const CHeadlessDialog& d = **it;
        if (!d.m_bVisible || !d.m_rcWindow.Contains(pt))
            continue;
        const CPoint o = d.ToScreen({0, 0});
        const CPoint pc{pt.x - o.x, pt.y - o.y};
        for (const auto& c : d.m_ctrls) {
            const bool bTransparent =
                c.item.kind == CCtrlKind::GroupBox ||
                (c.item.kind == CCtrlKind::Static && !(c.item.dwStyle & CTRL_NOTIFY));
            if (c.bVisible && !bTransparent && c.rc.Contains(pc))
                return d.m_owner.Ref(c.item.nId);
        }
        return d.m_owner.Ref();
    }
    return {};
}

CSize CHeadlessUi::MeasureText(const std::string& strText, CUiFont /*font*/) const {
    const CFontCell cell{m_sizeUiFontCell.cx, m_sizeUiFontCell.cy};
    int nLines = 1;
    std::size_t nLongest = 0;
    std::size_t nCurrent = 0;
    for (char ch : strText) {
        if (ch == '\n') {
            ++nLines;
            nCurrent = 0;
        } else if (ch != '\r') {
            nLongest = std::max(nLongest, ++nCurrent);
        }
    }
    return {static_cast<int>(nLongest) * cell.cx, nLines * cell.cy};
}

CDialogBaseUnits CHeadlessUi::GetBaseUnits(const std::string& strFace, int nPoints) const {
    const CFontCell cell = FontCell(strFace, nPoints);
    return CDialogBaseUnits::FromFontMetrics(52 * cell.cx, cell.cy);
}

std::unique_ptr<CRemoteEndpoint> CHeadlessUi::ListenRemote(CUiWindow& wnd,
                                                           const std::string& strCaption) {
    return m_bServeRemote ? CUiBackend::ListenRemote(wnd, strCaption) : nullptr;
}

int CHeadlessUi::RunLoop(CHeadlessDialog& dlg) {
    m_modal.push_back(&dlg);
    dlg.m_owner.WindowProc(WM_INITDIALOG, 0, 0);
    if (!dlg.m_bEnded)
        dlg.m_bVisible = true;
    while (!dlg.m_bEnded) {
        CPostQueue::CItem item;
        if (m_pQueue->TryPop(item)) {
            CPostQueue::Deliver(item);
            continue;
        }
        if (m_fnIdle && m_fnIdle())
            continue;
        if (m_bRealTime) {
            // Short waits, so that due timers fire and scripted conditions are looked at again.
            m_pQueue->WaitFor(std::chrono::milliseconds(50));
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - m_realStart);
            FireTimersUntil(static_cast<std::uint64_t>(elapsed.count()));
            continue;
        }
        if (!m_pQueue->WaitFor(m_stallLimit)) {
            m_bStalled = true;
            dlg.EndModal(kStalledResult);
        }
    }
    dlg.m_bVisible = false;
    m_modal.pop_back();
    return dlg.m_nResult;
}

void CHeadlessUi::SetTimer(const CUiWindow* pWnd, std::uintptr_t nId, unsigned nElapse) {
    // Like the system, a period below 10 ms counts as 10 ms.
    const unsigned nPeriod = std::max(nElapse, 10u);
    KillTimer(pWnd, nId);
    m_timers.push_back({pWnd, nId, nPeriod, m_nNow + nPeriod, ++m_nTimerSeq});
}

bool CHeadlessUi::KillTimer(const CUiWindow* pWnd, std::uintptr_t nId) {
    const auto n =
        std::erase_if(m_timers, [&](const CTimer& t) { return t.pWindow == pWnd && t.nId == nId; });
    return n > 0;
}

void CHeadlessUi::ForgetWindow(const CUiWindow* pWnd) {
    std::erase_if(m_timers, [&](const CTimer& t) { return t.pWindow == pWnd; });
}

void CHeadlessUi::FireTimersUntil(std::uint64_t nTarget) {
    for (;;) {
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
            if (it->nDue <= nTarget && (next == m_timers.end() || it->nDue < next->nDue ||
                                        (it->nDue == next->nDue && it->nSeq < next->nSeq)))
                next = it;
        if (next == m_timers.end())
            break;
        m_nNow = next->nDue;
        next->nDue += next->nPeriod;
        auto* pWnd = const_cast<CUiWindow*>(next->pWindow);
        const std::uintptr_t nId = next->nId;
        pWnd->WindowProc(WM_TIMER, nId, 0);
        m_pQueue->DeliverAll();
    }
    m_nNow = std::max(m_nNow, nTarget);
    m_pQueue->DeliverAll();
}

void CHeadlessUi::SetRealTime(bool bRealTime) {
    m_bRealTime = bRealTime;
    m_realStart = std::chrono::steady_clock::now() - std::chrono::milliseconds(m_nNow);
}

bool CHeadlessUi::IsModal(const CHeadlessDialog* pDlg) const {
    return std::find(m_modal.begin(), m_modal.end(), pDlg) != m_modal.end();
}

CHeadlessDialog* CHeadlessUi::PeerOf(const CDialog& dlg) const {
    for (auto* d : m_dialogs)
        if (&d->m_dialog == &dlg)
            return d;
    return nullptr;
}

CHeadlessPopup* CHeadlessUi::PopupOf(const CUiWindow& wnd) const {
    for (auto* p : m_popups)
        if (&p->m_owner == &wnd)
            return p;
    return nullptr;
}
