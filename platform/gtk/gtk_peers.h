// The GTK backend's window peers: what every window shares (its GtkWindow, place in screen
// pixels, timers, sizing), the dialog with its controls, the shaped popup; Linux platform code.
#pragma once

#include "platform/gtk/gtk_ui.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What dialogs and popups share. Rectangles are cached as the layer last set or the window
// system last reported them, so that a window read right after it was moved answers the new
// place, as a native window does.
class CGtkWindowState {
public:
    CGtkWindowState(CGtkUi& ui, CUiWindow& owner, GtkWidget* pWindow);
    virtual ~CGtkWindowState();
    CGtkWindowState(const CGtkWindowState&) = delete;
    CGtkWindowState& operator=(const CGtkWindowState&) = delete;

    struct CFrame {
        int l = 0, t = 0, r = 0, b = 0;
    };

    CGtkUi& m_ui;
    CUiWindow& m_owner;
    GtkWidget* m_pWindow;
    CRect m_rcWindow; // frame included, screen
    CFrame m_frame;   // the window manager's frame around the client area
    std::string m_strText;
    bool m_bMinimized = false;

    void SetTimerNow(std::uintptr_t nId, unsigned nElapse);
    bool KillTimerNow(std::uintptr_t nId);
    CRect ClientRect() const;
    CPoint ClientOrigin() const {
        return {m_rcWindow.left + m_frame.l, m_rcWindow.top + m_frame.t};
    }
    void MoveWindowNow(const CRect& rc);
    void SetTopmostNow(bool bTopmost);
    void ShowNow(bool bShow, bool bActivate);
    void SetTextNow(const std::string& strText);
    // Mouse input of the window: PreTranslateMessage first, then the window; true when
    // PreTranslateMessage kept it.
    bool OnMouse(unsigned nMsg, double xRoot, double yRoot);
    // The state of a GtkWindow of this backend, or null.
    static CGtkWindowState* FromWidget(GtkWidget* pWindow);

protected:
    // Destroys the window; the final class calls it first in its destructor, so that no signal
    // reaches a half-destroyed peer.
    void DestroyWindow();
    // The client size the window is to take (a dialog sizes its container, a popup the window).
    virtual void ApplyClientSize(CSize size) = 0;
    // The user (through the window manager) changed the window's size: old and new rectangles.
    // By default the new one stands.
    virtual void OnUserSized(const CRect& rcOld, const CRect& rcNew);
    // The window's client size changed (WM_SIZE for dialogs).
    virtual void OnClientSized(CSize /*size*/) {}

private:
    static gboolean OnTimer(gpointer pData);
    static gboolean OnConfigure(GtkWidget* pWidget, GdkEventConfigure* pEvent, gpointer pData);
    static gboolean OnWindowState(GtkWidget* pWidget, GdkEventWindowState* pEvent, gpointer pData);
    static gboolean OnPendingExpired(gpointer pData);
    // The window system reports the client area's place (from a configure event, or read back).
    void OnPlace(const CRect& rcClient, bool bFromEvent);
    // A place was asked of the window system; reports that differ are steps on the way to it.
    void ExpectPlace(const CRect& rc);
    void ClearPending();

    struct CTimer;
    std::map<std::uintptr_t, guint> m_timers;
    std::optional<CRect> m_rcPending; // a place asked for and not yet confirmed
    bool m_bPlaced = false;           // the layer has placed the window (MoveWindow)
    guint m_nPendingTimer = 0;
};

// The dialog's peer and the popup's share the window half.
template <class TPeer> class CGtkPeer : public TPeer, public CGtkWindowState {
public:
    CGtkPeer(CGtkUi& ui, CUiWindow& owner, GtkWidget* pWindow)
        : CGtkWindowState(ui, owner, pWindow) {}

    void SetTimer(std::uintptr_t nId, unsigned nElapse) override { SetTimerNow(nId, nElapse); }
    bool KillTimer(std::uintptr_t nId) override { return KillTimerNow(nId); }
    CRect GetWindowRect() const override { return m_rcWindow; }
    CRect GetClientRect() const override { return ClientRect(); }
    CPoint ClientToScreen(CPoint pt) const override {
        const CPoint o = ClientOrigin();
        return {pt.x + o.x, pt.y + o.y};
    }
    void MoveWindow(const CRect& rc) override { MoveWindowNow(rc); }
    void SetTopmost(bool bTopmost) override { SetTopmostNow(bTopmost); }
    void Show(bool bShow, bool bActivate) override { ShowNow(bShow, bActivate); }
    bool IsVisible() const override { return gtk_widget_get_visible(m_pWindow); }
    bool IsMinimized() const override { return m_bMinimized; }
    void SetText(const std::string& strText) override { SetTextNow(strText); }
    std::string GetText() const override { return m_strText; }
    // GTK 3 paints on the frame clock's next frame, bNow or not (it has no synchronous paint).
    void Invalidate(bool /*bNow*/) override { gtk_widget_queue_draw(m_pWindow); }
};

// One control: its template item, place, widgets and the state GTK does not keep for us.
struct CGtkCtrl {
    CDlgItem item;
    CRect rc;                       // client coordinates
    GtkWidget* pOuter = nullptr;    // what the container places
    GtkWidget* pInner = nullptr;    // what holds the content and takes the focus
    GtkListStore* pStore = nullptr; // list box and list view rows
    std::vector<std::string> lines; // list box lines, as in the store
    std::vector<std::pair<std::string, int>> columns;
    int nRows = 0;             // list view rows
    int nReportedSel = -1;     // list box selection the dialog last knew of
    bool bFocusing = false;    // a list takes the focus: GTK must not select its first row
    GtkWidget* pWeb = nullptr; // the web view, once made
    bool bVisible = true;
    int nCheck = 0;
};

class CGtkDialogPeer final : public CGtkPeer<CDialogPeer> {
public:
    CGtkDialogPeer(CGtkUi& ui, CDialog& owner, const CDlgTemplate& tmpl, GtkWidget* pParent);
    ~CGtkDialogPeer() override;

    int RunModal() override;
    void EndModal(int nResult) override;
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
    int GetFocusItem() const override;
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
    void SetIcon(int nIconId) override;

    CGtkCtrl* Find(int nId) const;
    CGtkCtrl* Find(int nId, CCtrlKind kind) const;
    // The control a widget belongs to (the widget or one of its ancestors), or null.
    CGtkCtrl* CtrlOfWidget(GtkWidget* pWidget) const;
    // Places the controls in the container's allocation; the container calls it.
    void AllocateControls(const GtkAllocation& alloc);
    void PreferredSize(int& nMin, int& nNatural, bool bWidth) const;
    const std::vector<GtkWidget*>& TabOrder() const { return m_tabOrder; }
    // A key the dialog or one of its controls received; true when the dialog used it.
    bool OnKey(unsigned nKeyval, GtkWidget* pFocus);
    bool IsRunning() const { return m_pLoop != nullptr && !m_bEnded; }

    CDialog& m_dialog;
    const CDlgTemplate& m_tmpl;
    GtkWidget* m_pFixed = nullptr;

protected:
    void ApplyClientSize(CSize size) override;
    void OnUserSized(const CRect& rcOld, const CRect& rcNew) override;
    void OnClientSized(CSize size) override;

private:
    void Build(const CDialogBaseUnits& base);
    void Notify(int nId, int nNotify);
    int CurrentRow(const CGtkCtrl& c) const;
    void SelectRow(CGtkCtrl& c, int nRow);
    void MakeWebViewIfShown(CGtkCtrl& c);
    void MakeWebView(CGtkCtrl& c);
    void RebindColumns(CGtkCtrl& c);

    static void OnClicked(GtkButton* pButton, gpointer pData);
    static void OnChanged(GtkEditable* pEditable, gpointer pData);
    static void OnSelectionChanged(GtkTreeSelection* pSelection, gpointer pData);
    static void OnRowActivated(GtkTreeView* pView, GtkTreePath* pPath, GtkTreeViewColumn* pColumn,
                               gpointer pData);
    static gboolean OnDelete(GtkWidget* pWidget, GdkEvent* pEvent, gpointer pData);
    static gboolean OnDraw(GtkWidget* pWidget, cairo_t* pCr, gpointer pData);

    std::vector<std::unique_ptr<CGtkCtrl>> m_ctrls; // template order
    std::vector<GtkWidget*> m_tabOrder;
    CSize m_sizeClient;
    GMainLoop* m_pLoop = nullptr;
    bool m_bEnded = false;
    int m_nResult = 0;
};

class CGtkPopupPeer final : public CGtkPeer<CPopupPeer> {
public:
    CGtkPopupPeer(CGtkUi& ui, CPopupWindow& owner, GtkWidget* pOwnerWindow);
    ~CGtkPopupPeer() override;
    void SetRegion(const CRegionShape& shape) override;

    CPopupWindow& m_popup;
    std::optional<CRegionShape> m_shape;
    cairo_region_t* m_pRegion = nullptr; // the shape in client pixels

protected:
    void ApplyClientSize(CSize size) override;

private:
    static gboolean OnDraw(GtkWidget* pWidget, cairo_t* pCr, gpointer pData);
    static void OnMapped(GtkWidget* pWidget, gpointer pData);
    void ApplyShape();
};

// ---- Shared helpers (gtk_paint.cpp)

// The pixels a region shape covers, as a cairo region in the shape's coordinates: the rounded
// rectangle united with the polygon, the polygon filled in alternate mode.
cairo_region_t* RegionFromShape(const CRegionShape& shape);

// Drawing on a window's client area through cairo, in the interface font.
class CCairoSurface final : public CPaintSurface {
public:
    CCairoSurface(cairo_t* pCr, GtkWidget* pWidget) : m_pCr(pCr), m_pWidget(pWidget) {}
    void FillRegion(const CRegionShape& shape, CSysColor color) override;
    void FrameRegion(const CRegionShape& shape, CSysColor color, int cx, int cy) override;
    void DrawTextIn(const CRect& rc, const std::string& strText, CUiFont font) override;
    void DrawIcon(CPoint pt, int nIconId, CSize size) override;

private:
    cairo_t* m_pCr;
    GtkWidget* m_pWidget;
};

// The system colour of a role, from the theme where it names one.
GdkRGBA SysColor(GtkWidget* pWidget, CSysColor color);
// The program's icon at the size nearest to cx (null for an id without an icon); a new reference.
GdkPixbuf* LoadIcon(int nIconId, int cx);
// The container that places a dialog's controls at their template pixels.
GtkWidget* NewDialogContainer(CGtkDialogPeer* pPeer);
void DetachDialogContainer(GtkWidget* pContainer);
