// The dialog layer's window classes; portable.
#include "platform/ui/dialog.h"

#include <cassert>

namespace {
CUiBackend* g_pUiBackend = nullptr;
} // namespace

CUiBackend* SetUiBackend(CUiBackend* pBackend) {
    CUiBackend* pPrevious = g_pUiBackend;
    g_pUiBackend = pBackend;
    return pPrevious;
}

CUiBackend& GetUiBackend() {
    assert(g_pUiBackend && "SetUiBackend before making windows");
    return *g_pUiBackend;
}

std::unique_ptr<CRemoteEndpoint> CUiBackend::ListenRemote(CUiWindow& wnd,
                                                          const std::string& strCaption) {
    return CreateRemoteEndpoint(strCaption, wnd.GetPost());
}

// ---- CUiWindow

CUiWindow::CUiWindow()
    : m_pQueue(GetUiBackend().GetPostQueue()), m_pTarget(std::make_shared<CPostTarget>()) {}

CUiWindow::~CUiWindow() {
    m_pRemote.reset();
    m_pTarget->m_pWindow = nullptr;
}

LRESULT CUiWindow::WindowProc(unsigned nMsg, WPARAM wParam, LPARAM lParam) {
    return OnMessage(nMsg, wParam, lParam);
}

bool CUiWindow::PreTranslateMessage(const CUiMessage& /*msg*/) {
    return false;
}

LRESULT CUiWindow::OnMessage(unsigned nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_TIMER) {
        OnTimer(wParam);
        return 0;
    }
    const auto it = m_mapMessages.find(nMsg);
    if (it != m_mapMessages.end())
        return it->second(wParam, lParam);
    return 0;
}

bool CUiWindow::Post(unsigned nMsg, WPARAM wParam, LPARAM lParam) const {
    return GetPost().Post(nMsg, wParam, lParam);
}

bool CUiWindow::PostCommand(int nId, int nNotify) const {
    return GetPost().PostCommand(nId, nNotify);
}

void CUiWindow::AttachPeer(std::unique_ptr<CWindowPeer> pPeer) {
    m_pPeer = std::move(pPeer);
    m_pTarget->m_pWindow = this;
    if (m_bServeRemote)
        ListenRemote();
}

void CUiWindow::DestroyPeer() {
    if (!m_pPeer)
        return;
    // Other processes find no window from the moment it starts going.
    m_pRemote.reset();
    OnDestroy();
    m_pTarget->m_pWindow = nullptr;
    m_pPeer.reset();
}

void CUiWindow::ServeRemoteMessages() {
    m_bServeRemote = true;
    if (m_pPeer && !m_pRemote)
        ListenRemote();
}

void CUiWindow::ListenRemote() {
    m_pRemote.reset();
    const std::string strCaption = GetCaption();
    if (!strCaption.empty())
        m_pRemote = GetUiBackend().ListenRemote(*this, strCaption);
}

bool CUiWindow::SetTimer(std::uintptr_t nId, unsigned nElapse) {
    if (!m_pPeer)
        return false;
    m_pPeer->SetTimer(nId, nElapse);
    return true;
}

bool CUiWindow::KillTimer(std::uintptr_t nId) {
    return m_pPeer && m_pPeer->KillTimer(nId);
}

CRect CUiWindow::GetWindowRect() const {
    return m_pPeer ? m_pPeer->GetWindowRect() : CRect{};
}

CRect CUiWindow::GetClientRect() const {
    return m_pPeer ? m_pPeer->GetClientRect() : CRect{};
}

CPoint CUiWindow::ClientToScreen(CPoint pt) const {
    return m_pPeer ? m_pPeer->ClientToScreen(pt) : pt;
}

void CUiWindow::MoveWindow(const CRect& rc) {
    if (m_pPeer)
        m_pPeer->MoveWindow(rc);
}

void CUiWindow::SetTopmost(bool bTopmost) {
    if (m_pPeer)
        m_pPeer->SetTopmost(bTopmost);
}

void CUiWindow::ShowWindow(bool bShow, bool bActivate) {
    if (m_pPeer)
        m_pPeer->Show(bShow, bActivate);
}

bool CUiWindow::IsWindowVisible() const {
    return m_pPeer && m_pPeer->IsVisible();
}

bool CUiWindow::IsMinimized() const {
    return m_pPeer && m_pPeer->IsMinimized();
}

void CUiWindow::SetCaption(const std::string& strText) {
    if (!m_pPeer)
        return;
    const bool bMoved = m_bServeRemote && m_pPeer->GetText() != strText;
    m_pPeer->SetText(strText);
    if (bMoved)
        ListenRemote();
}

std::string CUiWindow::GetCaption() const {
    return m_pPeer ? m_pPeer->GetText() : std::string();
}

void CUiWindow::Invalidate(bool bNow) {
    if (m_pPeer)
        m_pPeer->Invalidate(bNow);
}

int CUiWindow::ShowMessageBox(const std::string& strText, const std::string& strCaption,
                              unsigned nType) {
    // A window object that has no window yet (or any more) owns nothing on screen.
    return GetUiBackend().ShowMessageBox(IsWindow() ? this : nullptr, strText, strCaption, nType);
}

// ---- CDialog

CDialog::CDialog(const CDlgTemplate& tmpl, CUiWindow* pParent)
    : m_template(tmpl), m_pParent(pParent) {}

CDialog::~CDialog() {
    DestroyPeer();
}

int CDialog::DoModal() {
    auto pPeer = GetUiBackend().CreateDialogPeer(*this, m_template, m_pParent);
    m_pDlgPeer = pPeer.get();
    AttachPeer(std::move(pPeer));
    const int nResult = m_pDlgPeer->RunModal();
    DestroyPeer();
    m_pDlgPeer = nullptr;
    return nResult;
}

void CDialog::EndDialog(int nResult) {
    if (m_pDlgPeer)
        m_pDlgPeer->EndModal(nResult);
}

CDialogBaseUnits CDialog::GetBaseUnits() const {
    return GetUiBackend().GetBaseUnits(m_template.strFontFace, m_template.nFontPoints);
}

void CDialog::MapCommand(int nId, int nNotify, CommandHandler fn) {
    m_mapCommands[{nId, nNotify}] = std::move(fn);
}

LRESULT CDialog::OnMessage(unsigned nMsg, WPARAM wParam, LPARAM lParam) {
    switch (nMsg) {
    case WM_INITDIALOG:
        return OnInitDialog() ? 1 : 0;
    case WM_COMMAND: {
        const int nId = CommandId(wParam);
        const int nNotify = CommandNotify(wParam);
        const auto it = m_mapCommands.find({nId, nNotify});
        if (it != m_mapCommands.end())
            it->second();
        else
            OnCommand(nId, nNotify, lParam);
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_SIZING: {
        auto* pRect = reinterpret_cast<CRect*>(lParam);
        if (pRect)
            *pRect = OnSizing(static_cast<CSizingEdge>(wParam), *pRect);
        return 1;
    }
    case WM_SIZE:
        OnSize(static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
        return 0;
    default:
        return CUiWindow::OnMessage(nMsg, wParam, lParam);
    }
}

bool CDialog::OnCommand(int nId, int nNotify, LPARAM /*lParam*/) {
    if (nNotify != BN_CLICKED)
        return false;
    if (nId == IDOK) {
        OnOK();
        return true;
    }
    if (nId == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialog::HandleDialogKey(int nVirtKey) {
    if (PreTranslateMessage({WM_KEYDOWN, static_cast<WPARAM>(nVirtKey), 0}))
        return true;
    int nId = 0;
    if (nVirtKey == VK_ESCAPE) {
        nId = IDCANCEL;
    } else if (nVirtKey == VK_RETURN) {
        const CDlgItem* pFocus = m_template.FindItem(GetFocusItem());
        if (pFocus && pFocus->kind == CCtrlKind::PushButton) {
            nId = pFocus->nId;
        } else {
            nId = IDOK;
            for (const auto& item : m_template.items)
                if (item.kind == CCtrlKind::PushButton && (item.dwStyle & CTRL_DEFAULT)) {
                    nId = item.nId;
                    break;
                }
        }
        // A disabled default button swallows Enter.
        if (HasItem(nId) && !IsItemEnabled(nId))
            return false;
    } else {
        return false;
    }
    WindowProc(WM_COMMAND, MakeCommandParam(nId, BN_CLICKED), 0);
    return true;
}

CRect CDialog::AcceptSizing(CSizingEdge edge, const CRect& rcProposed) {
    CRect rc = rcProposed;
    WindowProc(WM_SIZING, static_cast<WPARAM>(edge), SizingParam(&rc));
    return rc;
}

void CDialog::OnClose() {
    if (HasItem(IDCANCEL) && !IsItemEnabled(IDCANCEL))
        return;
    WindowProc(WM_COMMAND, MakeCommandParam(IDCANCEL, BN_CLICKED), 0);
}

bool CDialog::HasItem(int nId) const {
    return m_pDlgPeer && m_pDlgPeer->HasItem(nId);
}

void CDialog::SetItemText(int nId, const std::string& strText) {
    if (!m_pDlgPeer || !m_pDlgPeer->HasItem(nId))
        return;
    m_pDlgPeer->SetItemText(nId, strText);
    // As the Windows dialog manager does: an edit box set from code reports the change.
    const CDlgItem* pItem = m_template.FindItem(nId);
    if (pItem && pItem->kind == CCtrlKind::Edit)
        WindowProc(WM_COMMAND, MakeCommandParam(nId, EN_CHANGE), 0);
}

std::string CDialog::GetItemText(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->GetItemText(nId) : std::string();
}

void CDialog::CheckDlgButton(int nId, int nCheck) {
    if (m_pDlgPeer)
        m_pDlgPeer->SetCheck(nId, nCheck);
}

int CDialog::IsDlgButtonChecked(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->GetCheck(nId) : 0;
}

void CDialog::ShowItem(int nId, bool bShow) {
    if (m_pDlgPeer)
        m_pDlgPeer->ShowItem(nId, bShow);
}

bool CDialog::IsItemVisible(int nId) const {
    return m_pDlgPeer && m_pDlgPeer->IsItemVisible(nId);
}

void CDialog::EnableItem(int nId, bool bEnable) {
    if (m_pDlgPeer)
        m_pDlgPeer->EnableItem(nId, bEnable);
}

bool CDialog::IsItemEnabled(int nId) const {
    return m_pDlgPeer && m_pDlgPeer->IsItemEnabled(nId);
}

void CDialog::SetItemReadOnly(int nId, bool bReadOnly) {
    if (m_pDlgPeer)
        m_pDlgPeer->SetItemReadOnly(nId, bReadOnly);
}

bool CDialog::IsItemReadOnly(int nId) const {
    return m_pDlgPeer && m_pDlgPeer->IsItemReadOnly(nId);
}

CRect CDialog::GetItemRect(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->GetItemRect(nId) : CRect{};
}

void CDialog::MoveItem(int nId, const CRect& rc) {
    if (m_pDlgPeer)
        m_pDlgPeer->MoveItem(nId, rc);
}

CPoint CDialog::ScreenToClient(CPoint pt) const {
    const CPoint origin = ClientToScreen({0, 0});
    return {pt.x - origin.x, pt.y - origin.y};
}

void CDialog::SetFocusItem(int nId) {
    if (m_pDlgPeer)
        m_pDlgPeer->SetFocusItem(nId);
}

int CDialog::GetFocusItem() const {
    return m_pDlgPeer ? m_pDlgPeer->GetFocusItem() : 0;
}

void CDialog::SetIcon(int nIconId) {
    if (m_pDlgPeer)
        m_pDlgPeer->SetIcon(nIconId);
}

int CDialog::LbAddString(int nId, const std::string& strLine) {
    return m_pDlgPeer ? m_pDlgPeer->LbAddString(nId, strLine) : -1;
}

int CDialog::LbInsertString(int nId, int nIndex, const std::string& strLine) {
    return m_pDlgPeer ? m_pDlgPeer->LbInsertString(nId, nIndex, strLine) : -1;
}

int CDialog::LbDeleteString(int nId, int nIndex) {
    return m_pDlgPeer ? m_pDlgPeer->LbDeleteString(nId, nIndex) : -1;
}

void CDialog::LbResetContent(int nId) {
    if (m_pDlgPeer)
        m_pDlgPeer->LbResetContent(nId);
}

int CDialog::LbGetCount(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->LbGetCount(nId) : 0;
}

int CDialog::LbGetCurSel(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->LbGetCurSel(nId) : -1;
}

void CDialog::LbSetCurSel(int nId, int nIndex) {
    if (m_pDlgPeer)
        m_pDlgPeer->LbSetCurSel(nId, nIndex);
}

std::string CDialog::LbGetText(int nId, int nIndex) const {
    return m_pDlgPeer ? m_pDlgPeer->LbGetText(nId, nIndex) : std::string();
}

int CDialog::LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) {
    return m_pDlgPeer ? m_pDlgPeer->LvInsertColumn(nId, nCol, strHeading, nWidth) : -1;
}

int CDialog::LvGetColumnWidth(int nId, int nCol) const {
    return m_pDlgPeer ? m_pDlgPeer->LvGetColumnWidth(nId, nCol) : 0;
}

int CDialog::LvInsertItem(int nId, int nRow, const std::string& strText) {
    return m_pDlgPeer ? m_pDlgPeer->LvInsertItem(nId, nRow, strText) : -1;
}

bool CDialog::LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) {
    return m_pDlgPeer && m_pDlgPeer->LvSetItemText(nId, nRow, nCol, strText);
}

std::string CDialog::LvGetItemText(int nId, int nRow, int nCol) const {
    return m_pDlgPeer ? m_pDlgPeer->LvGetItemText(nId, nRow, nCol) : std::string();
}

int CDialog::LvGetItemCount(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->LvGetItemCount(nId) : 0;
}

void CDialog::LvDeleteAllItems(int nId) {
    if (m_pDlgPeer)
        m_pDlgPeer->LvDeleteAllItems(nId);
}

int CDialog::LvGetSelection(int nId) const {
    return m_pDlgPeer ? m_pDlgPeer->LvGetSelection(nId) : -1;
}

void CDialog::LvSetSelection(int nId, int nRow) {
    if (m_pDlgPeer)
        m_pDlgPeer->LvSetSelection(nId, nRow);
}

void CDialog::Navigate(int nId, const std::string& strUrl) {
    if (m_pDlgPeer)
        m_pDlgPeer->Navigate(nId, strUrl);
}

// ---- CPopupWindow

CPopupWindow::~CPopupWindow() {
    DestroyWindow();
}

bool CPopupWindow::CreatePopup(CUiWindow* pOwner) {
    if (IsWindow())
        return false;
    auto pPeer = GetUiBackend().CreatePopupPeer(*this, pOwner);
    if (!pPeer)
        return false;
    m_pPopupPeer = pPeer.get();
    AttachPeer(std::move(pPeer));
    return true;
}

void CPopupWindow::DestroyWindow() {
    DestroyPeer();
    m_pPopupPeer = nullptr;
}

void CPopupWindow::SetRegion(const CRegionShape& shape) {
    if (m_pPopupPeer)
        m_pPopupPeer->SetRegion(shape);
}

void CPopupWindow::ShowAt(const CRect& rc) {
    if (!m_pPopupPeer)
        return;
    m_pPopupPeer->MoveWindow(rc);
    m_pPopupPeer->SetTopmost(true);
    m_pPopupPeer->Show(true, false);
}
