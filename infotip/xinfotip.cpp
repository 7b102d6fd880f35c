// The balloon info-tip; portable.
#include "infotip/xinfotip.h"

#include <algorithm>

CXInfoTip::CXInfoTip() = default;

bool CXInfoTip::Create(CUiWindow* pParent) {
    m_pTipFont = CUiFont::DefaultGui;
    return CreatePopup(pParent);
}

void CXInfoTip::AddTool(CWindowRef tool, const std::string& strText, int nIcon) {
    m_mapTool[tool] = {strText, nIcon};
}

void CXInfoTip::RemoveTool(CWindowRef tool) {
    m_mapTool.erase(tool);
}

void CXInfoTip::RelayEvent(const CUiMessage& msg) {
    switch (msg.nMsg) {
    case WM_MOUSEMOVE: {
        // The cursor itself, not the message's coordinates: the message may come from a control.
        CUiBackend& ui = GetUiBackend();
        const CPoint pt = ui.GetCursorPos();
        if (pt != m_ptTip) {
            const auto it = m_mapTool.find(ui.WindowFromPoint(pt));
            if (it != m_mapTool.end()) {
                m_ptTip = pt;
                SetIcon(it->second.nIcon);
                Show(it->second.strText, pt);
            }
        }
        if (pt != m_ptTip)
            Hide();
        break;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        Hide();
        break;
    default:
        break;
    }
}

void CXInfoTip::Show(const std::string& strText, std::optional<CPoint> pt) {
    m_ptTip = pt ? *pt : GetUiBackend().GetCursorPos();
    m_strTip = strText;
    // A show still waiting is replaced: the wait starts again from this move.
    SetTimer(kShowTimer, m_uDelay);
    m_uTimer = kShowTimer;
}

void CXInfoTip::Hide() {
    // Left waiting, the show would pop the tip up at the old place after the cursor has gone.
    if (m_uTimer == kShowTimer) {
        KillTimer(kShowTimer);
        m_uTimer = 0;
    }
    ShowWindow(false);
}

void CXInfoTip::SetIcon(int nIcon) {
    m_nTipIcon = nIcon;
    if (nIcon == 0) {
        m_sizeTipIcon = {0, 0};
        return;
    }
    // Drawn at twice the hot spot, which lies at the icon's centre.
    const CSize size = GetUiBackend().GetIconSize();
    m_sizeTipIcon = {(2 * (size.cx / 2)) % 256, (2 * (size.cy / 2)) % 256};
    if (IsWindow())
        Invalidate(true);
}

CRegionShape CXInfoTip::GetWindowRegion(CSize* pSize) const {
    const CSize text = GetUiBackend().MeasureText(m_strTip, m_pTipFont);
    int w = text.cx + 24;
    int h = text.cy + 20;
    if (m_nTipIcon != 0) {
        w += m_sizeTipIcon.cx + 5;
        h = std::max(h, m_sizeTipIcon.cy);
    }
    CRegionShape shape;
    shape.rcRound = {0, 0, w, h};
    shape.sizeCorner = {12, 10};
    // The tail hangs below the body at the right; its point is at (w - 12, h + 15).
    shape.polygon = {{w - 12, h - 10}, {w - 12, h + 15}, {w - 37, h - 10}};
    if (pSize)
        *pSize = {w, h + 25};
    return shape;
}

void CXInfoTip::OnTimer(std::uintptr_t nId) {
    if (nId == kShowTimer) {
        KillTimer(m_uTimer);
        CSize size;
        SetRegion(GetWindowRegion(&size));
        ShowAt(
            CRect::FromXywh(m_ptTip.x - size.cx + 12, m_ptTip.y - size.cy + 10, size.cx, size.cy));
        SetTimer(kHideTimer, kHideCheckMs);
        m_uTimer = kHideTimer;
    } else if (nId == kHideTimer) {
        if (GetUiBackend().GetCursorPos() != m_ptTip) {
            KillTimer(m_uTimer);
            m_uTimer = 0;
            ShowWindow(false);
        }
    }
}

bool CXInfoTip::OnPaint(CPaintSurface& surface) {
    const CRegionShape shape = GetWindowRegion();
    surface.FillRegion(shape, CSysColor::Window);
    surface.FrameRegion(shape, CSysColor::ScrollBar, 3, 3);
    surface.FrameRegion(shape, CSysColor::WindowText, 1, 1);
    CRect rcText = GetClientRect();
    rcText.left += m_nTipIcon != 0 ? m_sizeTipIcon.cx + 17 : 12;
    rcText.top += 10;
    surface.DrawTextIn(rcText, m_strTip, m_pTipFont);
    if (m_nTipIcon != 0)
        surface.DrawIcon({12, 10}, m_nTipIcon, m_sizeTipIcon);
    return true;
}

void CXInfoTip::OnDestroy() {
    if (m_uTimer != 0)
        KillTimer(m_uTimer);
    m_uTimer = 0;
}
