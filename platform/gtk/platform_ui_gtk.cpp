// The desktop a Linux program installs through CreatePlatformUi: the GTK backend, made on first
// use, or message boxes on standard error where no display can be opened; Linux platform code.
//
// Made on first use so that a program that only might tell the user something (Arbolet handing
// files over) opens no display and loads no theme unless it does: fifty of them start at once.
#include "platform/gtk/gtk_ui.h"
#include "platform/headless/headless_ui.h"

#include <cstdio>

namespace {

class CDesktopOnDemand final : public CUiBackend {
public:
    CDesktopOnDemand() = default;
    ~CDesktopOnDemand() override {
        // The stand-in puts back the backend it found when it was made (this one): the process's
        // backend is whatever it is now, unless that is this one.
        CUiBackend* pCurrent = SetUiBackend(nullptr);
        m_pConsole.reset();
        m_pGtk.reset();
        SetUiBackend(pCurrent == this ? nullptr : pCurrent);
    }
    CDesktopOnDemand(const CDesktopOnDemand&) = delete;
    CDesktopOnDemand& operator=(const CDesktopOnDemand&) = delete;

    std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                  CUiWindow* pParent) override {
        return Real().CreateDialogPeer(owner, tmpl, pParent);
    }
    std::unique_ptr<CPopupPeer> CreatePopupPeer(CPopupWindow& owner,
                                                CUiWindow* pOwnerWindow) override {
        return Real().CreatePopupPeer(owner, pOwnerWindow);
    }
    std::shared_ptr<CPostQueue> GetPostQueue() override { return Real().GetPostQueue(); }
    int ShowMessageBox(CUiWindow* pOwner, const std::string& strText, const std::string& strCaption,
                       unsigned nType) override {
        return Real().ShowMessageBox(pOwner, strText, strCaption, nType);
    }
    std::optional<std::string> BrowseForFolder(CUiWindow* pOwner, const std::string& strTitle,
                                               const std::string& strStartPath,
                                               const CNetworkAccount& account) override {
        return Real().BrowseForFolder(pOwner, strTitle, strStartPath, account);
    }
    CSize GetScreenSize() const override { return Real().GetScreenSize(); }
    CSize GetIconSize() const override { return Real().GetIconSize(); }
    CPoint GetCursorPos() const override { return Real().GetCursorPos(); }
    CWindowRef WindowFromPoint(CPoint pt) const override { return Real().WindowFromPoint(pt); }
    CSize MeasureText(const std::string& strText, CUiFont font) const override {
        return Real().MeasureText(strText, font);
    }
    CDialogBaseUnits GetBaseUnits(const std::string& strFace, int nPoints) const override {
        return Real().GetBaseUnits(strFace, nPoints);
    }
    std::uint64_t GetTickCount() const override { return Real().GetTickCount(); }
    std::unique_ptr<CRemoteEndpoint> ListenRemote(CUiWindow& wnd,
                                                  const std::string& strCaption) override {
        return Real().ListenRemote(wnd, strCaption);
    }

private:
    CUiBackend& Real() const {
        if (m_pGtk)
            return *m_pGtk;
        if (m_pConsole)
            return *m_pConsole;
        m_pGtk = CreateGtkUi();
        if (m_pGtk)
            return *m_pGtk;
        // No display: what the user is to be told goes to standard error, answered with OK (or
        // Yes). The stand-in installs itself; this object stays the process's backend.
        CUiBackend* pCurrent = GetInstalled();
        m_pConsole = std::make_unique<CHeadlessUi>();
        SetUiBackend(pCurrent);
        m_pConsole->SetMessageBoxHandler([](const CShownMessageBox& box) {
            std::fprintf(stderr, "%s: %s\n", box.strCaption.c_str(), box.strText.c_str());
            return (box.nType & 0xF) == MB_YESNO ? IDYES : IDOK;
        });
        return *m_pConsole;
    }
    static CUiBackend* GetInstalled() {
        CUiBackend* p = SetUiBackend(nullptr);
        SetUiBackend(p);
        return p;
    }

    mutable std::unique_ptr<CGtkUi> m_pGtk;
    mutable std::unique_ptr<CHeadlessUi> m_pConsole;
};

} // namespace

std::unique_ptr<CUiBackend> CreatePlatformUi() {
    return std::make_unique<CDesktopOnDemand>();
}
