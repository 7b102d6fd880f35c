// The headless backend's window records: one shared window state for dialogs and popups, and the
// controls of a dialog; portable (read by the backend and by its test driver).
#pragma once

#include "platform/ui/dialog.h"
#include "platform/ui/ui_backend.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CHeadlessUi;

// One control of a headless dialog, as data.
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

// What every headless window has: its owner, place, frame, visibility, text.
struct CHeadlessWindowState {
    CHeadlessWindowState(CHeadlessUi& ui, CUiWindow& owner) : m_ui(ui), m_owner(owner) {}

    CHeadlessUi& m_ui;
    CUiWindow& m_owner;
    CRect m_rcWindow;   // screen
    int m_nFrame = 0;   // pixels of frame on every side
    int m_nCaption = 0; // pixels of caption bar under the top frame
    bool m_bVisible = false;
    bool m_bTopmost = false;
    bool m_bMinimized = false;
    std::string m_strText;
    int m_nInvalidations = 0;

    CRect ClientRect() const {
        return {0, 0, std::max(0, m_rcWindow.Width() - 2 * m_nFrame),
                std::max(0, m_rcWindow.Height() - 2 * m_nFrame - m_nCaption)};
    }
    CPoint ToScreen(CPoint pt) const {
        return {pt.x + m_rcWindow.left + m_nFrame, pt.y + m_rcWindow.top + m_nFrame + m_nCaption};
    }
};

// Timer calls of a peer go to the backend's virtual clock.
void HeadlessSetTimer(CHeadlessUi& ui, const CUiWindow* pWnd, std::uintptr_t nId, unsigned nElapse);
bool HeadlessKillTimer(CHeadlessUi& ui, const CUiWindow* pWnd, std::uintptr_t nId);

// The window half of a peer, the same for dialogs and popups.
template <class TPeer> class CHeadlessPeer : public TPeer, public CHeadlessWindowState {
public:
    CHeadlessPeer(CHeadlessUi& ui, CUiWindow& owner) : CHeadlessWindowState(ui, owner) {}

    void SetTimer(std::uintptr_t nId, unsigned nElapse) override {
        HeadlessSetTimer(m_ui, &m_owner, nId, nElapse);
    }
    bool KillTimer(std::uintptr_t nId) override { return HeadlessKillTimer(m_ui, &m_owner, nId); }
    CRect GetWindowRect() const override { return m_rcWindow; }
    CRect GetClientRect() const override { return ClientRect(); }
    CPoint ClientToScreen(CPoint pt) const override { return ToScreen(pt); }
    void MoveWindow(const CRect& rc) override { m_rcWindow = rc; }
    void SetTopmost(bool bTopmost) override { m_bTopmost = bTopmost; }
    void Show(bool bShow, bool /*bActivate*/) override { m_bVisible = bShow; }
    bool IsVisible() const override { return m_bVisible; }
    bool IsMinimized() const override { return m_bMinimized; }
    void SetText(const std::string& strText) override { m_strText = strText; }
    std::string GetText() const override { return m_strText; }
    void Invalidate(bool /*bNow*/) override { ++m_nInvalidations; }
};

// A dialog as data.
class CHeadlessDialog final : public CHeadlessPeer<CDialogPeer> {
public:
    CHeadlessDialog(CHeadlessUi& ui, CDialog& owner, const CDlgTemplate& tmpl);
    ~CHeadlessDialog() override;

    int RunModal() override;
    void EndModal(int nResult) override {
        m_bEnded = true;
        m_nResult = nResult;
    }
    bool HasItem(int nId) const override { return Find(nId) != nullptr; }
    void SetItemText(int nId, const std::string& strText) override;
    std::string GetItemText(int nId) const override;
    void SetCheck(int nId, int nCheck) override;
    int GetCheck(int nId) const override;
    void ShowItem(int nId, bool bShow) override;
    bool IsItemVisible(int nId) const override;
    void EnableItem(int nId, bool bEnable) override;
    bool IsItemEnabled(int nId) const override;
    void SetItemReadOnly(int nId, bool bReadOnly) override;
    bool IsItemReadOnly(int nId) const override;
    CRect GetItemRect(int nId) const override;
    void MoveItem(int nId, const CRect& rc) override;
    void SetFocusItem(int nId) override;
    int GetFocusItem() const override { return m_nFocus; }
    int LbAddString(int nId, const std::string& strLine) override;
    int LbInsertString(int nId, int nIndex, const std::string& strLine) override;
    int LbDeleteString(int nId, int nIndex) override;
    void LbResetContent(int nId) override;
    int LbGetCount(int nId) const override;
    int LbGetCurSel(int nId) const override;
    void LbSetCurSel(int nId, int nIndex) override;
    std::string LbGetText(int nId, int nIndex) const override;
    int LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) override;
    int LvGetColumnWidth(int nId, int nCol) const override;
    int LvInsertItem(int nId, int nRow, const std::string& strText) override;
    bool LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) override;
    std::string LvGetItemText(int nId, int nRow, int nCol) const override;
    int LvGetItemCount(int nId) const override;
    void LvDeleteAllItems(int nId) override;
    int LvGetSelection(int nId) const override;
    void LvSetSelection(int nId, int nRow) override;
    void Navigate(int nId, const std::string& strUrl) override;
    void SetIcon(int nIconId) override { m_nIcon = nIconId; }

    // The control with that id (and kind, when given), or null.
    CHeadlessCtrl* Find(int nId);
    const CHeadlessCtrl* Find(int nId) const;
    CHeadlessCtrl* Find(int nId, CCtrlKind kind);
    const CHeadlessCtrl* Find(int nId, CCtrlKind kind) const;
    // The control, when a user could reach it: present, visible and enabled in a visible dialog.
    CHeadlessCtrl* Usable(int nId);

    CDialog& m_dialog;
    const CDlgTemplate& m_tmpl;
    bool m_bEnded = false;
    int m_nResult = 0;
    int m_nFocus = 0;
    int m_nIcon = 0;
    std::vector<CHeadlessCtrl> m_ctrls;
};

// A popup window as data.
class CHeadlessPopup final : public CHeadlessPeer<CPopupPeer> {
public:
    CHeadlessPopup(CHeadlessUi& ui, CPopupWindow& owner);
    ~CHeadlessPopup() override;
    void SetRegion(const CRegionShape& shape) override { m_region = shape; }

    CPopupWindow& m_popup;
    CRegionShape m_region;
};
