// The GTK 3 backend of the dialog layer (WebKitGTK for the browser control); Linux platform code.
//
// Windows are GtkWindows built from the same templates as everywhere: controls placed in a
// container at the pixels the dialog units give (base units from the desktop's interface font),
// posts delivered by a main-context source (any nested loop included), one nested main loop per
// modal run, GTK's own signals silenced while the peer changes a widget. The windows place
// themselves in screen coordinates, so the backend runs on X11 (XWayland under Wayland).
//
// A program makes the backend, installs it, and runs its windows:
//
//     auto pUi = CreateGtkUi();                 // null: no display
//     SetUiBackend(pUi.get());
//     ... CMyDlg dlg; dlg.DoModal(); ...
//
// The accessors below name the GTK widgets behind a window, for tests that drive the real windows
// with GTK calls.
#pragma once

#include "platform/ui/dialog.h"
#include "platform/ui/ui_backend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _GSource GSource;
typedef union _GdkEvent GdkEvent;
typedef struct _WebKitWebView WebKitWebView;

class CGtkWindowState;
class CGtkDialogPeer;
class CGtkPopupPeer;

class CGtkUi final : public CUiBackend {
public:
    ~CGtkUi() override;
    CGtkUi(const CGtkUi&) = delete;
    CGtkUi& operator=(const CGtkUi&) = delete;

    // ---- CUiBackend
    std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                  CUiWindow* pParent) override;
    std::unique_ptr<CPopupPeer> CreatePopupPeer(CPopupWindow& owner,
                                                CUiWindow* pOwnerWindow) override;
    std::shared_ptr<CPostQueue> GetPostQueue() override { return m_pQueue; }
    int ShowMessageBox(CUiWindow* pOwner, const std::string& strText, const std::string& strCaption,
                       unsigned nType) override;
    std::optional<std::string> BrowseForFolder(CUiWindow* pOwner, const std::string& strTitle,
                                               const std::string& strStartPath,
                                               const CNetworkAccount& account) override;
    CSize GetScreenSize() const override;
    CSize GetIconSize() const override;
    CPoint GetCursorPos() const override;
    CWindowRef WindowFromPoint(CPoint pt) const override;
    CSize MeasureText(const std::string& strText, CUiFont font) const override;
    CDialogBaseUnits GetBaseUnits(const std::string& strFace, int nPoints) const override;
    std::uint64_t GetTickCount() const override;

    // ---- The widgets behind the windows (null when there is none)
    GtkWidget* WindowWidget(const CUiWindow& wnd) const;
    // The control's own widget: GtkButton, GtkCheckButton, GtkEntry, GtkLabel, GtkFrame,
    // GtkTreeView (list box and list view), or the box that holds the web view.
    GtkWidget* ItemWidget(const CDialog& dlg, int nId) const;
    // The browser control's web view, once it has been made.
    WebKitWebView* WebView(const CDialog& dlg, int nId) const;
    // How many web views this backend has made.
    int WebViewsMade() const { return m_nWebViewsMade; }

private:
    friend std::unique_ptr<CGtkUi> CreateGtkUi();
    friend class CGtkWindowState;
    friend class CGtkDialogPeer;
    friend class CGtkPopupPeer;
    CGtkUi();

    static void OnEvent(GdkEvent* pEvent, void* pData);
    bool FilterInput(GdkEvent* pEvent);
    CGtkDialogPeer* DialogPeerOf(const CUiWindow& wnd) const;
    CGtkWindowState* StateOf(const CUiWindow& wnd) const;
    // The window that a new dialog or box without an owner belongs to: the innermost modal one.
    GtkWidget* OwnerWidget(CUiWindow* pOwner) const;

    std::shared_ptr<CPostQueue> m_pQueue;
    GSource* m_pPostSource = nullptr;
    GtkWidget* m_pMeasure = nullptr; // a label that is never shown: the interface font's metrics
    std::vector<CGtkWindowState*> m_windows; // live windows, in creation order
    std::vector<CGtkDialogPeer*> m_modal;    // running modal loops, innermost last
    int m_nWebViewsMade = 0;
    int m_nBusy = 0; // > 0 while the windows wait for the folder browser's mount
    mutable std::optional<CDialogBaseUnits> m_baseUnits;
};

// Connects to the display (X11 only; the first call initialises GTK) and makes the backend; null
// when no display can be opened. Where no GPU is present, WebKit is told to draw without
// compositing before any of its processes starts.
std::unique_ptr<CGtkUi> CreateGtkUi();
