// The test driver of the headless backend; portable.
#include "platform/headless/headless_driver.h"

namespace {

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
    void DrawTextIn(const CRect& rc, const std::string& strText, CUiFont /*font*/) override {
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

CHeadlessDriver::CHeadlessDriver() {
    m_ui.SetIdleHandler([this] { return RunNextStep(); });
    m_ui.SetMessageBoxHandler([this](const CShownMessageBox& shown) {
        CShownMessageBox box = shown;
        box.nAnswer = (box.nType & 0xF) == MB_YESNO ? IDYES : IDOK;
        if (!m_answers.empty()) {
            box.nAnswer = m_answers.front();
            m_answers.pop_front();
        }
        m_boxes.push_back(box);
        return box.nAnswer;
    });
    m_ui.SetFolderBrowserHandler(
        [this](const std::string& strTitle, const std::string& strStartPath,
               const CNetworkAccount& account) -> std::optional<std::string> {
            m_folderBrowsers.push_back({strTitle, strStartPath, account});
            if (m_folderAnswers.empty())
                return std::nullopt;
            auto fnAnswer = std::move(m_folderAnswers.front());
            m_folderAnswers.pop_front();
            return fnAnswer();
        });
}

void CHeadlessDriver::Then(std::function<void()> fnStep) {
    m_steps.push_back({{}, std::move(fnStep)});
}

void CHeadlessDriver::Then(const CDialog& dlg, std::function<void()> fnStep) {
    ThenWhen([this, pDlg = &dlg] { return ActiveDialog() == pDlg; }, std::move(fnStep));
}

void CHeadlessDriver::ThenWhen(std::function<bool()> fnReady, std::function<void()> fnStep) {
    m_steps.push_back({std::move(fnReady), std::move(fnStep)});
}

bool CHeadlessDriver::RunNextStep() {
    if (m_steps.empty())
        return false;
    if (m_steps.front().fnReady && !m_steps.front().fnReady())
        return false;
    auto fnStep = std::move(m_steps.front().fn);
    m_steps.pop_front();
    fnStep();
    return true;
}

CDialog* CHeadlessDriver::ActiveDialog() const {
    auto* d = m_ui.Active();
    return d ? &d->m_dialog : nullptr;
}

bool CHeadlessDriver::IsRunning(const CDialog& dlg) const {
    auto* d = m_ui.PeerOf(dlg);
    return d && m_ui.IsModal(d) && !d->m_bEnded;
}

bool CHeadlessDriver::Click(int nId) {
    auto* d = m_ui.Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || (c->item.kind != CCtrlKind::PushButton && c->item.kind != CCtrlKind::CheckBox))
        return false;
    const CRect rc = d->GetItemRect(nId);
    m_ui.SetCursorPos({rc.left + rc.Width() / 2, rc.top + rc.Height() / 2});
    const CPoint pc = d->m_dialog.ScreenToClient(m_ui.GetCursorPos());
    if (d->m_dialog.PreTranslateMessage({WM_LBUTTONDOWN, 0, PackPoint(pc)}))
        return true;
    if (c->item.kind == CCtrlKind::CheckBox)
        c->nCheck = c->nCheck ? 0 : 1;
    d->m_nFocus = nId;
    d->m_dialog.WindowProc(WM_COMMAND, MakeCommandParam(nId, BN_CLICKED), 0);
    return true;
}

bool CHeadlessDriver::Type(int nId, const std::string& strText) {
    auto* d = m_ui.Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || c->item.kind != CCtrlKind::Edit || c->bReadOnly)
        return false;
    d->m_nFocus = nId;
    c->strText = strText;
    d->m_dialog.WindowProc(WM_COMMAND, MakeCommandParam(nId, EN_CHANGE), 0);
    return true;
}

bool CHeadlessDriver::SelectLine(int nId, int nIndex) {
    auto* d = m_ui.Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || c->item.kind != CCtrlKind::ListBox || nIndex < 0 ||
        nIndex >= static_cast<int>(c->lines.size()))
        return false;
    d->m_nFocus = nId;
    c->nCurSel = nIndex;
    if (c->item.dwStyle & CTRL_NOTIFY)
        d->m_dialog.WindowProc(WM_COMMAND, MakeCommandParam(nId, LBN_SELCHANGE), 0);
    return true;
}

bool CHeadlessDriver::DoubleClickLine(int nId, int nIndex) {
    if (!SelectLine(nId, nIndex))
        return false;
    auto* d = m_ui.Active();
    auto* c = d ? d->Find(nId) : nullptr;
    if (d && c && (c->item.dwStyle & CTRL_NOTIFY))
        d->m_dialog.WindowProc(WM_COMMAND, MakeCommandParam(nId, LBN_DBLCLK), 0);
    return true;
}

bool CHeadlessDriver::SelectRow(int nId, int nRow) {
    auto* d = m_ui.Active();
    auto* c = d ? d->Usable(nId) : nullptr;
    if (!c || c->item.kind != CCtrlKind::ListView || nRow < 0 ||
        nRow >= static_cast<int>(c->rows.size()))
        return false;
    d->m_nFocus = nId;
    c->nSelRow = nRow;
    return true;
}

bool CHeadlessDriver::PressEscape() {
    auto* d = m_ui.Active();
    return d && d->m_dialog.HandleDialogKey(VK_ESCAPE);
}

bool CHeadlessDriver::PressEnter() {
    auto* d = m_ui.Active();
    return d && d->m_dialog.HandleDialogKey(VK_RETURN);
}

bool CHeadlessDriver::CloseWindow() {
    auto* d = m_ui.Active();
    if (!d)
        return false;
    d->m_dialog.WindowProc(WM_CLOSE, 0, 0);
    return true;
}

bool CHeadlessDriver::DragBorder(CSizingEdge edge, CRect rcProposed) {
    auto* d = m_ui.Active();
    if (!d || !(d->m_tmpl.dwStyle & DLG_THICKFRAME))
        return false;
    d->m_rcWindow = d->m_dialog.AcceptSizing(edge, rcProposed);
    const CRect rcClient = d->ClientRect();
    d->m_dialog.WindowProc(WM_SIZE, 0, SizeParam(rcClient.Width(), rcClient.Height()));
    return true;
}

void CHeadlessDriver::MoveCursor(CPoint pt) {
    m_ui.SetCursorPos(pt);
    if (auto* d = m_ui.Active()) {
        const CPoint pc = d->m_dialog.ScreenToClient(pt);
        if (!d->m_dialog.PreTranslateMessage({WM_MOUSEMOVE, 0, PackPoint(pc)}))
            d->m_dialog.WindowProc(WM_MOUSEMOVE, 0, PackPoint(pc));
    }
}

void CHeadlessDriver::PressMouse(unsigned nButtonMsg) {
    if (auto* d = m_ui.Active()) {
        const CPoint pc = d->m_dialog.ScreenToClient(m_ui.GetCursorPos());
        if (!d->m_dialog.PreTranslateMessage({nButtonMsg, 0, PackPoint(pc)}))
            d->m_dialog.WindowProc(nButtonMsg, 0, PackPoint(pc));
    }
}

std::string CHeadlessDriver::NavigatedUrl(const CDialog& dlg, int nId) const {
    auto* d = m_ui.PeerOf(dlg);
    const auto* c = d ? d->Find(nId, CCtrlKind::WebBrowser) : nullptr;
    return c ? c->strUrl : std::string();
}

int CHeadlessDriver::IconOf(const CDialog& dlg) const {
    auto* d = m_ui.PeerOf(dlg);
    return d ? d->m_nIcon : 0;
}

bool CHeadlessDriver::IsTopmost(const CUiWindow& wnd) const {
    for (auto* d : m_ui.Dialogs())
        if (&d->m_owner == &wnd)
            return d->m_bTopmost;
    auto* p = m_ui.PopupOf(wnd);
    return p && p->m_bTopmost;
}

CRegionShape CHeadlessDriver::RegionOf(const CPopupWindow& wnd) const {
    auto* p = m_ui.PopupOf(wnd);
    return p ? p->m_region : CRegionShape{};
}

void CHeadlessDriver::SetMinimized(const CUiWindow& wnd, bool bMinimized) {
    for (auto* d : m_ui.Dialogs())
        if (&d->m_owner == &wnd)
            d->m_bMinimized = bMinimized;
    if (auto* p = m_ui.PopupOf(wnd))
        p->m_bMinimized = bMinimized;
}

std::vector<CPaintOp> CHeadlessDriver::PaintDialog(CDialog& dlg) {
    CRecordingSurface surface;
    if (m_ui.PeerOf(dlg))
        dlg.OnPaint(surface);
    return surface.ops;
}

std::vector<CPaintOp> CHeadlessDriver::Paint(CPopupWindow& wnd) {
    CRecordingSurface surface;
    if (m_ui.PopupOf(wnd))
        wnd.OnPaint(surface);
    return surface.ops;
}
