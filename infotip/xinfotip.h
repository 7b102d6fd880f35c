// The balloon info-tip: a shaped popup that shows a registered control's full text next to the
// cursor once it rests there; portable.
#pragma once

#include "platform/ui/dialog.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class CXInfoTip : public CPopupWindow {
public:
    // Timers of the tip window: the wait before showing, and the check that hides it again.
    static constexpr std::uintptr_t kShowTimer = 100;
    static constexpr std::uintptr_t kHideTimer = 101;
    static constexpr unsigned kHideCheckMs = 500;

    struct TipToolInfo {
        std::string strText;
        int nIcon = 0; // icon resource id; 0: none
    };

    CXInfoTip();

    // Creates the hidden popup owned by pParent (may be null).
    bool Create(CUiWindow* pParent);
    // Registers a control (again: the new text replaces the old) or removes it.
    void AddTool(CWindowRef tool, const std::string& strText, int nIcon = 0);
    void RemoveTool(CWindowRef tool);
    // The owner hands every message here first (from its PreTranslateMessage).
    void RelayEvent(const CUiMessage& msg);
    // Shows strText after the delay, its tail at pt (the cursor when none is given).
    void Show(const std::string& strText, std::optional<CPoint> pt = std::nullopt);
    // Hides the tip, and forgets a show still waiting for its timer.
    void Hide();
    void SetIcon(int nIcon);
    // The balloon for the current text and icon, and the window size it needs.
    CRegionShape GetWindowRegion(CSize* pSize = nullptr) const;

    bool OnPaint(CPaintSurface& surface) override;

    unsigned m_uDelay = 500;
    CPoint m_ptTip;
    std::string m_strTip;
    std::uintptr_t m_uTimer = 0;
    int m_nTipIcon = 0;
    CSize m_sizeTipIcon;
    CUiFont m_pTipFont = CUiFont::DefaultGui;

protected:
    void OnTimer(std::uintptr_t nId) override;
    void OnDestroy() override;

private:
    struct CRefLess {
        bool operator()(const CWindowRef& a, const CWindowRef& b) const {
            return a.pWindow != b.pWindow ? std::less<const CUiWindow*>()(a.pWindow, b.pWindow)
                                          : a.nCtrlId < b.nCtrlId;
        }
    };
    std::map<CWindowRef, TipToolInfo, CRefLess> m_mapTool;
};
