// The headless ui backend: windows as data, virtual time, test drivers; portable.
#include "platform/headless/headless_ui.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

struct CHeadlessCtrl {
    CDlgItem item;
    std::string strText;
    CRect rc; // client coordinates
    bool bVisible = true;
    bool bEnabled = true;
    bool bReadOnly = false;
    int nCheck = 0;
    std::vector<std::string> lines;
    int nCurSel = -1;
    std::vector<std::pair<std::string, int>> columns;
    std::vector<std::vector<std::string>> rows;
    int nSelRow = -1;
    std::string strUrl;
};

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

LPARAM PackPoint(CPoint pt) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(pt.y & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(pt.x & 0xFFFF));
}

class CRecordingSurface final : public CPaintSurface {
public:
    std::vector<CPaintOp> ops;
    void FillRegion(const CRegionShape& shape, CSysColor color) override {
        CPaintOp op;
        op.kind = CPaintOp::Kind::Fill;
        op.shape = shape;
        op.color = color;
        ops.push_back(op);
    }
    void FrameRegion(const CRegionShape& shape, CSysColor color, int cx, int cy) override {
        CPaintOp op;
        op.kind = CPaintOp::Kind::Frame;
        op.shape = shape;
        op.color = color;
        op.size = {cx, cy};
        ops.push_back(op);
    }
    void DrawText(const CRect& rc, const std::string& strText, CUiFont /*font*/) override {
        CPaintOp op;
        op.kind = CPaintOp::Kind::Text;
        op.rc = rc;
        op.strText = strText;
        ops.push_back(op);
    }
    void DrawIcon(CPoint pt, int nIconId, CSize size) override {
        CPaintOp op;
        op.kind = CPaintOp::Kind::Icon;
        op.pt = pt;
        op.nIconId = nIconId;
        op.size = size;
        ops.push_back(op);
    }
};

} // namespace

// ---- The dialog peer

class CHeadlessDialog final : public CDialogPeer {
public:
    CHeadlessDialog(CHeadlessUi& ui, CDialog& owner, const CDlgTemplate& tmpl)
        : m_ui(ui), m_owner(owner), m_tmpl(tmpl), m_strCaption(tmpl.strCaption) {
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

    ~CHeadlessDialog() override {
        m_ui.ForgetWindow(&m_owner);
        std::erase(m_ui.m_dialogs, this);
    }

    // ---- CWindowPeer
    void SetTimer(std::uintptr_t nId, unsigned nElapse) override {
        m_ui.SetTimer(&m_owner, nId, nElapse);
    }
    bool KillTimer(std::uintptr_t nId) override { return m_ui.KillTimer(&m_owner, nId); }
    CRect GetWindowRect() const override { return m_rcWindow; }
    CRect GetClientRect() const override {
        return {0, 0, std::max(0, m_rcWindow.Width() - 2 * m_nFrame),
                std::max(0, m_rcWindow.Height() - 2 * m_nFrame - m_nCaption)};
    }
    CPoint ClientToScreen(CPoint pt) const override {
        return {pt.x + m_rcWindow.left + m_nFrame, pt.y + m_rcWindow.top + m_nFrame + m_nCaption};
    }
    void MoveWindow(const CRect& rc) override { m_rcWindow = rc; }
    void SetTopmost(bool bTopmost) override { m_bTopmost = bTopmost; }
    void Show(bool bShow, bool /*bActivate*/) override { m_bVisible = bShow; }
    bool IsVisible() const override { return m_bVisible; }
    void SetText(const std::string& strText) override { m_strCaption = strText; }
    std::string GetText() const override { return m_strCaption; }
    void Invalidate(bool /*bNow*/) override {}

    // ---- CDialogPeer
    int RunModal() override { return m_ui.RunLoop(*this); }
    void EndModal(int nResult) override {
        m_bEnded = true;
        m_nResult = nResult;
    }
    bool HasItem(int nId) const override { return Find(nId) != nullptr; }
    void SetItemText(int nId, const std::string& strText) override {
        if (auto* c = Find(nId))
            c->strText = strText;
    }
    std::string GetItemText(int nId) const override {
        const auto* c = Find(nId);
        return c ? c->strText : std::string();
    }
    void SetCheck(int nId, int nCheck) override {
        if (auto* c = Find(nId))
            c->nCheck = nCheck;
    }
    int GetCheck(int nId) const override {
        const auto* c = Find(nId);
        return c ? c->nCheck : 0;
    }
    void ShowItem(int nId, bool bShow) override {
        if (auto* c = Find(nId))
            c->bVisible = bShow;
    }
    bool IsItemVisible(int nId) const override {
        const auto* c = Find(nId);
        return c && c->bVisible && m_bVisible;
    }
    void EnableItem(int nId, bool bEnable) override {
        if (auto* c = Find(nId))
            c->bEnabled = bEnable;
    }
    bool IsItemEnabled(int nId) const override {
        const auto* c = Find(nId);
        return c && c->bEnabled;
    }
    void SetItemReadOnly(int nId, bool bReadOnly) override {
        if (auto* c = Find(nId); c && c->item.kind == CCtrlKind::Edit)
            c->bReadOnly = bReadOnly;
    }
    bool IsItemReadOnly(int nId) const override {
        const auto* c = Find(nId);
        return c && c->bReadOnly;
    }
    CRect GetItemRect(int nId) const override {
        const auto* c = Find(nId);
        if (!c)
            return {};
        const CPoint o = ClientToScreen({0, 0});
        return {c->rc.left + o.x, c->rc.top + o.y, c->rc.right + o.x, c->rc.bottom + o.y};
    }
    void MoveItem(int nId, const CRect& rc) override {
        if (auto* c = Find(nId))
            c->rc = rc;
    }
    void SetFocusItem(int nId) override {
        if (Find(nId))
            m_nFocus = nId;
    }
    int GetFocusItem() const override { return m_nFocus; }

    int LbAddString(int nId, const std::string& strLine) override {
        auto* c = Find(nId, CCtrlKind::ListBox);
        if (!c)
            return -1;
        auto pos = c->lines.end();
        if (c->item.dwStyle & CTRL_SORT)
            pos = std::upper_bound(c->lines.begin(), c->lines.end(), strLine, LessNoCase);
        return static_cast<int>(c->lines.insert(pos, strLine) - c->lines.begin());
    }
    int LbInsertString(int nId, int nIndex, const std::string& strLine) override {
        auto* c = Find(nId, CCtrlKind::ListBox);
        if (!c || nIndex > static_cast<int>(c->lines.size()))
            return -1;
        if (nIndex < 0)
            nIndex = static_cast<int>(c->lines.size());
        c->lines.insert(c->lines.begin() + nIndex, strLine);
        return nIndex;
    }
    int LbDeleteString(int nId, int nIndex) override {
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
    void LbResetContent(int nId) override {
        if (auto* c = Find(nId, CCtrlKind::ListBox)) {
            c->lines.clear();
            c->nCurSel = -1;
        }
    }
    int LbGetCount(int nId) const override {
        const auto* c = Find(nId, CCtrlKind::ListBox);
        return c ? static_cast<int>(c->lines.size()) : 0;
    }
    int LbGetCurSel(int nId) const override {
        const auto* c = Find(nId, CCtrlKind::ListBox);
        return c ? c->nCurSel : -1;
    }
    void LbSetCurSel(int nId, int nIndex) override {
        if (auto* c = Find(nId, CCtrlKind::ListBox))
            c->nCurSel = (nIndex >= 0 && nIndex < static_cast<int>(c->lines.size())) ? nIndex : -1;
    }
    std::string LbGetText(int nId, int nIndex) const override {
        const auto* c = Find(nId, CCtrlKind::ListBox);
        if (!c || nIndex < 0 || nIndex >= static_cast<int>(c->lines.size()))
            return {};
        return c->lines[static_cast<std::size_t>(nIndex)];
    }

    int LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) override {
        auto* c = Find(nId, CCtrlKind::ListView);
        if (!c || nCol < 0)
            return -1;
        nCol = std::min(nCol, static_cast<int>(c->columns.size()));
        c->columns.insert(c->columns.begin() + nCol, {strHeading, nWidth});
        return nCol;
    }
    int LvGetColumnWidth(int nId, int nCol) const override {
        const auto* c = Find(nId, CCtrlKind::ListView);
        if (!c || nCol < 0 || nCol >= static_cast<int>(c->columns.size()))
            return 0;
        return c->columns[static_cast<std::size_t>(nCol)].second;
    }
    int LvInsertItem(int nId, int nRow, const std::string& strText) override {
        auto* c = Find(nId, CCtrlKind::ListView);
        if (!c || nRow < 0)
            return -1;
        nRow = std::min(nRow, static_cast<int>(c->rows.size()));
        c->rows.insert(c->rows.begin() + nRow, std::vector<std::string>{strText});
        return nRow;
    }
    bool LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) override {
        auto* c = Find(nId, CCtrlKind::ListView);
        if (!c || nRow < 0 || nRow >= static_cast<int>(c->rows.size()) || nCol < 0)
            return false;
        auto& row = c->rows[static_cast<std::size_t>(nRow)];
        if (static_cast<int>(row.size()) <= nCol)
            row.resize(static_cast<std::size_t>(nCol) + 1);
        row[static_cast<std::size_t>(nCol)] = strText;
        return true;
    }
    std::string LvGetItemText(int nId, int nRow, int nCol) const override {
        const auto* c = Find(nId, CCtrlKind::ListView);
        if (!c || nRow < 0 || nRow >= static_cast<int>(c->rows.size()) || nCol < 0)
            return {};
        const auto& row = c->rows[static_cast<std::size_t>(nRow)];
        return nCol < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(nCol)]
                                                   : std::string();
    }
    int LvGetItemCount(int nId) const override {
        const auto* c = Find(nId, CCtrlKind::ListView);
        return c ? static_cast<int>(c->rows.size()) : 0;
    }
    void LvDeleteAllItems(int nId) override {
        if (auto* c = Find(nId, CCtrlKind::ListView)) {
            c->rows.clear();
            c->nSelRow = -1;
        }
    }
    int LvGetSelection(int nId) const override {
        const auto* c = Find(nId, CCtrlKind::ListView);
        return c ? c->nSelRow : -1;
    }
    void LvSetSelection(int nId, int nRow) override {
        if (auto* c = Find(nId, CCtrlKind::ListView))
            c->nSelRow = (nRow >= 0 && nRow < static_cast<int>(c->rows.size())) ? nRow : -1;
    }
    void Navigate(int nId, const std::string& strUrl) override {
        if (auto* c = Find(nId, CCtrlKind::WebBrowser))
            c->strUrl = strUrl;
    }
    void SetIcon(int nIconId) override { m_nIcon = nIconId; }

    // ---- For the backend
    CHeadlessCtrl* Find(int nId) {
        for (auto& c : m_ctrls)
            if (c.item.nId == nId && nId != -1)
                return &c;
        return nullptr;
    }
    const CHeadlessCtrl* Find(int nId) const {
        return const_cast<CHeadlessDialog*>(this)->Find(nId);
    }
    CHeadlessCtrl* Find(int nId, CCtrlKind kind) {
        auto* c = Find(nId);
        return c && c->item.kind == kind ? c : nullptr;
    }
    const CHeadlessCtrl* Find(int nId, CCtrlKind kind) const {
        const auto* c = Find(nId);
        return c && c->item.kind == kind ? c : nullptr;
    }
    // A control the user can reach: present, shown, enabled.
    CHeadlessCtrl* Usable(int nId) {
        auto* c = Find(nId);
        return c && c->bVisible && c->bEnabled && m_bVisible ? c : nullptr;
    }
    static bool LessNoCase(const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                const auto lx = static_cast<unsigned char>(x);
                                                const auto ly = static_cast<unsigned char>(y);
                                                return std::tolower(lx) < std::tolower(ly);
                                            });
    }

    CHeadlessUi& m_ui;
    CDialog& m_owner;
    const CDlgTemplate& m_tmpl;
    std::string m_strCaption;
    CRect m_rcWindow;
    int m_nFrame = 0;
    int m_nCaption = 0;
    bool m_bVisible = false;
    bool m_bTopmost = false;
    bool m_bEnded = false;
    int m_nResult = 0;
    int m_nFocus = 0;
    int m_nIcon = 0;
    std::vector<CHeadlessCtrl> m_ctrls;
};

// ---- The popup peer

class CHeadlessPopup final : public CPopupPeer {
public:
    CHeadlessPopup(CHeadlessUi& ui, CPopupWindow& owner) : m_ui(ui), m_owner(owner) {
        ui.m_popups.push_back(this);
    }
    ~CHeadlessPopup() override {
        m_ui.ForgetWindow(&m_owner);
        std::erase(m_ui.m_popups, this);
    }
    void SetTimer(std::uintptr_t nId, unsigned nElapse) override {
        m_ui.SetTimer(&m_owner, nId, nElapse);
    }
    bool KillTimer(std::uintptr_t nId) override { return m_ui.KillTimer(&m_owner, nId); }
    CRect GetWindowRect() const override { return m_rc; }
    CRect GetClientRect() const override { return {0, 0, m_rc.Width(), m_rc.Height()}; }
    CPoint ClientToScreen(CPoint pt) const override { return {pt.x + m_rc.left, pt.y + m_rc.top}; }
    void MoveWindow(const CRect& rc) override { m_rc = rc; }
    void SetTopmost(bool bTopmost) override { m_bTopmost = bTopmost; }
    void Show(bool bShow, bool /*bActivate*/) override { m_bVisible = bShow; }
    bool IsVisible() const override { return m_bVisible; }
    void SetText(const std::string& strText) override { m_strText = strText; }
    std::string GetText() const override { return m_strText; }
    void Invalidate(bool /*bNow*/) override { ++m_nInvalidations; }
    void SetRegion(const CRegionShape& shape) override { m_region = shape; }

    CHeadlessUi& m_ui;
    CPopupWindow& m_owner;
    CRect m_rc;
    bool m_bVisible = false;
    bool m_bTopmost = false;
    std::string m_strText;
    CRegionShape m_region;
    int m_nInvalidations = 0;
};

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

int CHeadlessUi::MessageBox(CUiWindow* pOwner, const std::string& strText,
                            const std::string& strCaption, unsigned nType) {
    int nAnswer = (nType & 0xF) == MB_YESNO ? IDYES : IDOK;
    if (!m_answers.empty()) {
        nAnswer = m_answers.front();
        m_answers.pop_front();
    }
    m_boxes.push_back(
        {strText, strCaption, nType, pOwner ? pOwner->GetWindowText() : std::string(), nAnswer});
    return nAnswer;
}

std::optional<std::string> CHeadlessUi::BrowseForFolder(CUiWindow* /*pOwner*/,
                                                        const std::string& strTitle,
                                                        const std::string& strStartPath) {
    m_folderBrowsers.emplace_back(strTitle, strStartPath);
    if (m_folderAnswers.empty())
        return std::nullopt;
    auto answer = std::move(m_folderAnswers.front());
    m_folderAnswers.pop_front();
    return answer;
}

CWindowRef CHeadlessUi::WindowFromPoint(CPoint pt) const {
    for (auto it = m_popups.rbegin(); it != m_popups.rend(); ++it)
        if ((*it)->m_bVisible && (*it)->m_rc.Contains(pt))
            return (*it)->m_owner.Ref();
    for (auto it = m_dialogs.rbegin(); it != m_dialogs.rend(); ++it) {
        const CHeadlessDialog& d = **it;
        if (!d.m_bVisible || !d.m_rcWindow.Contains(pt))
            continue;
        const CPoint o = d.ClientToScreen({0, 0});
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
    const CFontCell cell = FontCell("MS Shell Dlg", 8);
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

void CHeadlessUi::Then(std::function<void()> fnStep) {
    m_steps.push_back({nullptr, std::move(fnStep)});
}

void CHeadlessUi::Then(const CDialog& dlg, std::function<void()> fnStep) {
    m_steps.push_back({&dlg, std::move(fnStep)});
}

bool CHeadlessUi::RunNextStep() {
    if (m_steps.empty())
        return false;
    if (m_steps.front().pDialog && m_steps.front().pDialog != ActiveDialog())
        return false;
    auto fnStep = std::move(m_steps.front().fn);
    m_steps.pop_front();
    fnStep();
    return true;
}

int CHeadlessUi::DeliverPosted() {
    int n = 0;
    CPostQueue::CItem item;
    while (m_pQueue->TryPop(item)) {
        if (item.pTarget->m_pWindow)
            item.pTarget->m_pWindow->WindowProc(item.msg.nMsg, item.msg.wParam, item.msg.lParam);
        ++n;
    }
    return n;
}

int CHeadlessUi::RunLoop(CHeadlessDialog& dlg) {
    m_modal.push_back(&dlg);
    dlg.m_owner.WindowProc(WM_INITDIALOG, 0, 0);
    if (!dlg.m_bEnded)
        dlg.m_bVisible = true;
    while (!dlg.m_bEnded) {
        CPostQueue::CItem item;
        if (m_pQueue->TryPop(item)) {
            if (item.pTarget->m_pWindow)
                item.pTarget->m_pWindow->WindowProc(item.msg.nMsg, item.msg.wParam,
                                                    item.msg.lParam);
            continue;
        }
        if (RunNextStep())
            continue;
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

void CHeadlessUi::Advance(unsigned nMs) {
    const std::uint64_t nTarget = m_nNow + nMs;
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
        DeliverPosted();
    }
    m_nNow = nTarget;
    DeliverPosted();
}

CHeadlessDialog* CHeadlessUi::Active() const {
    return m_modal.empty() ? nullptr : m_modal.back();
}

CDialog* CHeadlessUi::ActiveDialog() const {
    auto* d = Active();
    return d ? &d->m_owner : nullptr;
}

CHeadlessDialog* CHeadlessUi::PeerOf(const CDialog& dlg) const {
    for (auto* d : m_dialogs)
        if (&d->m_owner == &dlg)
            return d;
    return nullptr;
}

CHeadlessPopup* CHeadlessUi::PopupOf(const CUiWindow& wnd) const {
    for (auto* p : m_popups)
        if (&p->m_owner == &wnd)
            return p;
    return nullptr;
}

bool CHeadlessUi::IsRunning(const CDialog& dlg) const {
    auto* d = PeerOf(dlg);
    return d && std::find(m_modal.begin(), m_modal.end(), d) != m_modal.end() && !d->m_bEnded;
}

bool CHeadlessUi::Click(int nId) {
    auto* d = Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || (c->item.kind != CCtrlKind::PushButton && c->item.kind != CCtrlKind::CheckBox))
        return false;
    const CRect rc = d->GetItemRect(nId);
    m_ptCursor = {rc.left + rc.Width() / 2, rc.top + rc.Height() / 2};
    const CPoint pc = d->m_owner.ScreenToClient(m_ptCursor);
    if (d->m_owner.PreTranslateMessage({WM_LBUTTONDOWN, 0, PackPoint(pc)}))
        return true;
    if (c->item.kind == CCtrlKind::CheckBox)
        c->nCheck = c->nCheck ? 0 : 1;
    d->m_nFocus = nId;
    d->m_owner.WindowProc(WM_COMMAND, MakeCommandParam(nId, BN_CLICKED), 0);
    return true;
}

bool CHeadlessUi::Type(int nId, const std::string& strText) {
    auto* d = Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || c->item.kind != CCtrlKind::Edit || c->bReadOnly)
        return false;
    d->m_nFocus = nId;
    c->strText = strText;
    d->m_owner.WindowProc(WM_COMMAND, MakeCommandParam(nId, EN_CHANGE), 0);
    return true;
}

bool CHeadlessUi::SelectLine(int nId, int nIndex) {
    auto* d = Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || c->item.kind != CCtrlKind::ListBox || nIndex < 0 ||
        nIndex >= static_cast<int>(c->lines.size()))
        return false;
    d->m_nFocus = nId;
    c->nCurSel = nIndex;
    if (c->item.dwStyle & CTRL_NOTIFY)
        d->m_owner.WindowProc(WM_COMMAND, MakeCommandParam(nId, LBN_SELCHANGE), 0);
    return true;
}

bool CHeadlessUi::DoubleClickLine(int nId, int nIndex) {
    if (!SelectLine(nId, nIndex))
        return false;
    auto* d = Active();
    auto* c = d ? d->Find(nId) : nullptr;
    if (d && c && (c->item.dwStyle & CTRL_NOTIFY))
        d->m_owner.WindowProc(WM_COMMAND, MakeCommandParam(nId, LBN_DBLCLK), 0);
    return true;
}

bool CHeadlessUi::SelectRow(int nId, int nRow) {
    auto* d = Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || c->item.kind != CCtrlKind::ListView || nRow < 0 ||
        nRow >= static_cast<int>(c->rows.size()))
        return false;
    d->m_nFocus = nId;
    c->nSelRow = nRow;
    return true;
}

bool CHeadlessUi::SendKey(int nKey) {
    auto* d = Active();
    if (!d)
        return false;
    if (d->m_owner.PreTranslateMessage({WM_KEYDOWN, static_cast<WPARAM>(nKey), 0}))
        return true;
    int nId = IDCANCEL;
    if (nKey == VK_RETURN) {
        const auto* focus = d->Find(d->m_nFocus);
        if (focus && focus->item.kind == CCtrlKind::PushButton) {
            nId = focus->item.nId;
        } else {
            nId = IDOK;
            for (const auto& c : d->m_ctrls)
                if (c.item.kind == CCtrlKind::PushButton && (c.item.dwStyle & CTRL_DEFAULT)) {
                    nId = c.item.nId;
                    break;
                }
        }
        // A disabled default button swallows Enter.
        if (const auto* c = d->Find(nId); c && !c->bEnabled)
            return false;
    }
    d->m_owner.WindowProc(WM_COMMAND, MakeCommandParam(nId, BN_CLICKED), 0);
    return true;
}

bool CHeadlessUi::PressEscape() {
    return SendKey(VK_ESCAPE);
}

bool CHeadlessUi::PressEnter() {
    return SendKey(VK_RETURN);
}

bool CHeadlessUi::CloseWindow() {
    auto* d = Active();
    if (!d)
        return false;
    d->m_owner.WindowProc(WM_CLOSE, 0, 0);
    return true;
}

bool CHeadlessUi::DragBorder(CSizingEdge edge, CRect rcProposed) {
    auto* d = Active();
    if (!d || !(d->m_tmpl.dwStyle & DLG_THICKFRAME))
        return false;
    d->m_owner.WindowProc(WM_SIZING, static_cast<WPARAM>(edge), SizingParam(&rcProposed));
    d->m_rcWindow = rcProposed;
    const CRect rcClient = d->GetClientRect();
    d->m_owner.WindowProc(
        WM_SIZE, 0,
        static_cast<LPARAM>((rcClient.Height() & 0xFFFF) << 16 | (rcClient.Width() & 0xFFFF)));
    return true;
}

void CHeadlessUi::MoveCursor(CPoint pt) {
    m_ptCursor = pt;
    if (auto* d = Active()) {
        const CPoint pc = d->m_owner.ScreenToClient(pt);
        if (!d->m_owner.PreTranslateMessage({WM_MOUSEMOVE, 0, PackPoint(pc)}))
            d->m_owner.WindowProc(WM_MOUSEMOVE, 0, PackPoint(pc));
    }
}

void CHeadlessUi::PressMouse(unsigned nButtonMsg) {
    if (auto* d = Active()) {
        const CPoint pc = d->m_owner.ScreenToClient(m_ptCursor);
        if (!d->m_owner.PreTranslateMessage({nButtonMsg, 0, PackPoint(pc)}))
            d->m_owner.WindowProc(nButtonMsg, 0, PackPoint(pc));
    }
}

std::string CHeadlessUi::NavigatedUrl(const CDialog& dlg, int nId) const {
    auto* d = PeerOf(dlg);
    const auto* c = d ? d->Find(nId, CCtrlKind::WebBrowser) : nullptr;
    return c ? c->strUrl : std::string();
}

int CHeadlessUi::IconOf(const CDialog& dlg) const {
    auto* d = PeerOf(dlg);
    return d ? d->m_nIcon : 0;
}

bool CHeadlessUi::IsTopmost(const CUiWindow& wnd) const {
    for (auto* d : m_dialogs)
        if (&d->m_owner == &wnd)
            return d->m_bTopmost;
    auto* p = PopupOf(wnd);
    return p && p->m_bTopmost;
}

CRegionShape CHeadlessUi::RegionOf(const CPopupWindow& wnd) const {
    auto* p = PopupOf(wnd);
    return p ? p->m_region : CRegionShape{};
}

std::vector<CPaintOp> CHeadlessUi::Paint(CPopupWindow& wnd) {
    CRecordingSurface surface;
    if (PopupOf(wnd))
        wnd.OnPaint(surface);
    return surface.ops;
}
