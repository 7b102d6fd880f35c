// The GTK 3 backend of the dialog layer: start-up, posts through the main context, input
// routing, message boxes, the folder browser and the desktop's metrics; Linux platform code.
#include "platform/gtk/gtk_ui.h"

#include "platform/gtk/gtk_peers.h"
#include "platform/gtk/smb_mount.h"
#include "platform/gtk/smb_path.h"

#include "resources/resource.h"

#include <algorithm>
#include <filesystem>

extern "C" void mw_icons_register_resource(void);

namespace {

// ---- Posts: a main-context source that is ready while the queue holds items. It may run again
// inside a nested loop started by one of its own items (a handler that opens a dialog), so posts
// keep flowing in every modal loop.
struct CPostSource {
    GSource base;
    CPostQueue* pQueue;
};

gboolean PostPrepare(GSource* pSource, gint* pTimeout) {
    *pTimeout = -1;
    return reinterpret_cast<CPostSource*>(pSource)->pQueue->Size() > 0;
}

gboolean PostCheck(GSource* pSource) {
    return reinterpret_cast<CPostSource*>(pSource)->pQueue->Size() > 0;
}

gboolean PostDispatch(GSource* pSource, GSourceFunc /*fn*/, gpointer /*pData*/) {
    CPostQueue* pQueue = reinterpret_cast<CPostSource*>(pSource)->pQueue;
    // What was queued when the source ran; later posts wait for the next round, so that input
    // and painting are not starved by a window that keeps posting to itself.
    std::size_t n = pQueue->Size();
    CPostQueue::CItem item;
    while (n-- > 0 && pQueue->TryPop(item)) {
        CPostQueue::Deliver(item);
        item = {};
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_postFuncs = {PostPrepare, PostCheck, PostDispatch, nullptr, nullptr, nullptr};

// Controls drawn at dialog-unit sizes: the theme's paddings and minimum heights are for larger
// widgets, so they are narrowed inside our dialogs only.
constexpr const char* kDialogCss = R"(
.mw-dialog button { min-height: 0; min-width: 0; padding: 0 6px; }
.mw-dialog entry { min-height: 0; padding-top: 0; padding-bottom: 0; }
.mw-dialog checkbutton { min-height: 0; padding: 0; }
.mw-dialog entry.mw-read-only { background-color: @theme_bg_color; }
)";

bool HasRenderNode() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ec))
        if (entry.path().filename().string().starts_with("renderD"))
            return true;
    return false;
}

} // namespace

std::unique_ptr<CGtkUi> CreateGtkUi() {
    static int s_nInit = 0; // 0: not tried, 1: ready, -1: no display
    if (s_nInit == 0) {
        // Without a GPU, WebKit's compositing falls back to slow or blank drawing: draw without
        // it. Set before any web process starts, which inherits the environment.
        if (!HasRenderNode())
            g_setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", FALSE);
        // The windows place themselves in screen coordinates, which Wayland does not give
        // clients: X11, or XWayland under a Wayland desktop.
        gdk_set_allowed_backends("x11");
        s_nInit = gtk_init_check(nullptr, nullptr) ? 1 : -1;
        if (s_nInit == 1) {
            mw_icons_register_resource();
            GtkCssProvider* pCss = gtk_css_provider_new();
            gtk_css_provider_load_from_data(pCss, kDialogCss, -1, nullptr);
            gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                                      GTK_STYLE_PROVIDER(pCss),
                                                      GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
            g_object_unref(pCss);
            GList* pIcons = nullptr;
            for (int cx : {16, 32, 48, 256})
                if (GdkPixbuf* pIcon = LoadIcon(IDR_MAINFRAME, cx))
                    pIcons = g_list_append(pIcons, pIcon);
            gtk_window_set_default_icon_list(pIcons);
            g_list_free_full(pIcons, g_object_unref);
        }
    }
    if (s_nInit != 1)
        return nullptr;
    return std::unique_ptr<CGtkUi>(new CGtkUi());
}

CGtkUi::CGtkUi() : m_pQueue(std::make_shared<CPostQueue>()) {
    m_pPostSource = g_source_new(&g_postFuncs, sizeof(CPostSource));
    reinterpret_cast<CPostSource*>(m_pPostSource)->pQueue = m_pQueue.get();
    g_source_set_can_recurse(m_pPostSource, TRUE);
    g_source_set_name(m_pPostSource, "marlowick posts");
    g_source_attach(m_pPostSource, nullptr);
    m_pQueue->SetWaker([] { g_main_context_wakeup(nullptr); });
    m_pMeasure = gtk_label_new("");
    g_object_ref_sink(m_pMeasure);
    gdk_event_handler_set(OnEvent, this, nullptr);
}

CGtkUi::~CGtkUi() {
    gdk_event_handler_set([](GdkEvent* pEvent, gpointer) { gtk_main_do_event(pEvent); }, nullptr,
                          nullptr);
    m_pQueue->SetWaker(nullptr);
    g_source_destroy(m_pPostSource);
    g_source_unref(m_pPostSource);
    gtk_widget_destroy(m_pMeasure);
    g_object_unref(m_pMeasure);
}

// ---- Windows

std::unique_ptr<CDialogPeer> CGtkUi::CreateDialogPeer(CDialog& owner, const CDlgTemplate& tmpl,
                                                      CUiWindow* pParent) {
    return std::make_unique<CGtkDialogPeer>(*this, owner, tmpl, OwnerWidget(pParent));
}

std::unique_ptr<CPopupPeer> CGtkUi::CreatePopupPeer(CPopupWindow& owner, CUiWindow* pOwnerWindow) {
    const CGtkWindowState* pOwner = pOwnerWindow ? StateOf(*pOwnerWindow) : nullptr;
    return std::make_unique<CGtkPopupPeer>(*this, owner, pOwner ? pOwner->m_pWindow : nullptr);
}

CGtkWindowState* CGtkUi::StateOf(const CUiWindow& wnd) const {
    for (CGtkWindowState* p : m_windows)
        if (&p->m_owner == &wnd)
            return p;
    return nullptr;
}

CGtkDialogPeer* CGtkUi::DialogPeerOf(const CUiWindow& wnd) const {
    return dynamic_cast<CGtkDialogPeer*>(StateOf(wnd));
}

GtkWidget* CGtkUi::OwnerWidget(CUiWindow* pOwner) const {
    if (pOwner)
        if (const CGtkWindowState* p = StateOf(*pOwner))
            return p->m_pWindow;
    return m_modal.empty() ? nullptr : m_modal.back()->m_pWindow;
}

GtkWidget* CGtkUi::WindowWidget(const CUiWindow& wnd) const {
    const CGtkWindowState* p = StateOf(wnd);
    return p ? p->m_pWindow : nullptr;
}

GtkWidget* CGtkUi::ItemWidget(const CDialog& dlg, int nId) const {
    const CGtkDialogPeer* p = DialogPeerOf(dlg);
    const CGtkCtrl* c = p ? p->Find(nId) : nullptr;
    return c ? c->pInner : nullptr;
}

WebKitWebView* CGtkUi::WebView(const CDialog& dlg, int nId) const {
    const CGtkDialogPeer* p = DialogPeerOf(dlg);
    const CGtkCtrl* c = p ? p->Find(nId, CCtrlKind::WebBrowser) : nullptr;
    return c && c->pWeb ? reinterpret_cast<WebKitWebView*>(c->pWeb) : nullptr;
}

// ---- Input: every event passes here before GTK sees it, as messages pass a dialog's
// PreTranslateMessage and the dialog manager before the control.

void CGtkUi::OnEvent(GdkEvent* pEvent, void* pData) {
    if (!static_cast<CGtkUi*>(pData)->FilterInput(pEvent))
        gtk_main_do_event(pEvent);
}

bool CGtkUi::FilterInput(GdkEvent* pEvent) {
    if (pEvent->type != GDK_KEY_PRESS && pEvent->type != GDK_BUTTON_PRESS &&
        pEvent->type != GDK_MOTION_NOTIFY)
        return false;
    if (!pEvent->any.window)
        return false;
    gpointer pUser = nullptr;
    gdk_window_get_user_data(gdk_window_get_toplevel(pEvent->any.window), &pUser);
    GtkWidget* pWindow = pUser && GTK_IS_WIDGET(pUser) ? GTK_WIDGET(pUser) : nullptr;
    CGtkWindowState* pState = CGtkWindowState::FromWidget(pWindow);
    if (!pState)
        return false;
    // A window that GTK's own modal run (a message box, the folder browser) keeps from the
    // user: GTK drops its input.
    if (GtkWidget* pGrab = gtk_grab_get_current();
        pGrab && gtk_widget_get_toplevel(pGrab) != pWindow)
        return false;
    auto* pDialog = dynamic_cast<CGtkDialogPeer*>(pState);
    // A dialog under a modal one, or any while the folder browser mounts, is disabled.
    const bool bDisabled =
        m_nBusy > 0 || (pDialog && !m_modal.empty() && pDialog != m_modal.back() &&
                        std::find(m_modal.begin(), m_modal.end(), pDialog) != m_modal.end());
    if (bDisabled)
        return true;
    switch (pEvent->type) {
    case GDK_KEY_PRESS:
        return pDialog &&
               pDialog->OnKey(pEvent->key.keyval, gtk_window_get_focus(GTK_WINDOW(pWindow)));
    case GDK_BUTTON_PRESS: {
        unsigned nMsg = 0;
        switch (pEvent->button.button) {
        case 1:
            nMsg = WM_LBUTTONDOWN;
            break;
        case 2:
            nMsg = WM_MBUTTONDOWN;
            break;
        case 3:
            nMsg = WM_RBUTTONDOWN;
            break;
        default:
            return false;
        }
        return pState->OnMouse(nMsg, pEvent->button.x_root, pEvent->button.y_root);
    }
    default:
        return pState->OnMouse(WM_MOUSEMOVE, pEvent->motion.x_root, pEvent->motion.y_root);
    }
}

// ---- Boxes

int CGtkUi::ShowMessageBox(CUiWindow* pOwner, const std::string& strText,
                           const std::string& strCaption, unsigned nType) {
    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (nType & 0xF0) {
    case 0x10:
        type = GTK_MESSAGE_ERROR;
        break;
    case 0x20:
        type = GTK_MESSAGE_QUESTION;
        break;
    case MB_ICONEXCLAMATION:
        type = GTK_MESSAGE_WARNING;
        break;
    case 0x40:
        type = GTK_MESSAGE_INFO;
        break;
    default:
        break;
    }
    GtkWidget* pParent = OwnerWidget(pOwner);
    GtkWidget* pBox =
        gtk_message_dialog_new(pParent ? GTK_WINDOW(pParent) : nullptr, GTK_DIALOG_MODAL, type,
                               GTK_BUTTONS_NONE, "%s", strText.c_str());
    gtk_window_set_title(GTK_WINDOW(pBox), strCaption.c_str());
    // Closing the box answers what Escape answers on the system's box.
    int nClosed = IDOK;
    switch (nType & 0xF) {
    case MB_OKCANCEL:
        gtk_dialog_add_buttons(GTK_DIALOG(pBox), "_OK", IDOK, "_Cancel", IDCANCEL, nullptr);
        nClosed = IDCANCEL;
        break;
    case MB_YESNO:
        gtk_dialog_add_buttons(GTK_DIALOG(pBox), "_Yes", IDYES, "_No", IDNO, nullptr);
        gtk_window_set_deletable(GTK_WINDOW(pBox), FALSE);
        nClosed = IDNO;
        break;
    default:
        gtk_dialog_add_button(GTK_DIALOG(pBox), "_OK", IDOK);
        break;
    }
    gtk_dialog_set_default_response(GTK_DIALOG(pBox), (nType & 0xF) == MB_YESNO ? IDYES : IDOK);
    const int nResponse = gtk_dialog_run(GTK_DIALOG(pBox));
    gtk_widget_destroy(pBox);
    return nResponse > 0 ? nResponse : nClosed;
}

std::optional<std::string> CGtkUi::BrowseForFolder(CUiWindow* pOwner, const std::string& strTitle,
                                                   const std::string& strStartPath,
                                                   const CNetworkAccount& account) {
    GtkWidget* pParent = OwnerWidget(pOwner);
    std::string strStartUri;
    if (const auto strUri = SmbUriFromNetworkPath(strStartPath)) {
        // The device's node is mounted first, with the window's account, so that the chooser
        // opens there without asking; the windows wait meanwhile, as under a modal box.
        strStartUri = *strUri;
        GMainLoop* pLoop = g_main_loop_new(nullptr, FALSE);
        bool bDone = false;
        ++m_nBusy;
        MountSmbNode(
            *strUri, account,
            [pParent] { return gtk_mount_operation_new(pParent ? GTK_WINDOW(pParent) : nullptr); },
            [&bDone, pLoop](bool /*bMounted*/) {
                bDone = true;
                g_main_loop_quit(pLoop);
            });
        if (!bDone)
            g_main_loop_run(pLoop);
        --m_nBusy;
        g_main_loop_unref(pLoop);
    } else if (!strStartPath.empty() && g_path_is_absolute(strStartPath.c_str())) {
        gchar* pUri = g_filename_to_uri(strStartPath.c_str(), nullptr, nullptr);
        strStartUri = pUri ? pUri : "";
        g_free(pUri);
    }
    GtkWidget* pChooser =
        gtk_file_chooser_dialog_new(strTitle.c_str(), pParent ? GTK_WINDOW(pParent) : nullptr,
                                    GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* pFiles = GTK_FILE_CHOOSER(pChooser);
    gtk_file_chooser_set_local_only(pFiles, FALSE);
    gtk_file_chooser_set_create_folders(pFiles, FALSE);
    gtk_dialog_set_default_response(GTK_DIALOG(pChooser), GTK_RESPONSE_ACCEPT);
    if (!strStartUri.empty())
        gtk_file_chooser_set_current_folder_uri(pFiles, strStartUri.c_str());
    std::optional<std::string> answer;
    if (gtk_dialog_run(GTK_DIALOG(pChooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* pUri = gtk_file_chooser_get_uri(pFiles)) {
            // A folder that has no Windows form goes as its URI: the program's rule refuses it.
            answer = FolderPathFromUri(pUri).value_or(pUri);
            g_free(pUri);
        }
    }
    gtk_widget_destroy(pChooser);
    return answer;
}

// ---- Metrics

CSize CGtkUi::GetScreenSize() const {
    GdkDisplay* pDisplay = gdk_display_get_default();
    GdkMonitor* pMonitor = gdk_display_get_primary_monitor(pDisplay);
    if (!pMonitor)
        pMonitor = gdk_display_get_monitor(pDisplay, 0);
    if (!pMonitor)
        return {};
    GdkRectangle rc;
    gdk_monitor_get_geometry(pMonitor, &rc);
    return {rc.width, rc.height};
}

CSize CGtkUi::GetIconSize() const {
    int cx = 32;
    int cy = 32;
    gtk_icon_size_lookup(GTK_ICON_SIZE_DND, &cx, &cy);
    return {cx, cy};
}

CPoint CGtkUi::GetCursorPos() const {
    GdkSeat* pSeat = gdk_display_get_default_seat(gdk_display_get_default());
    GdkDevice* pPointer = pSeat ? gdk_seat_get_pointer(pSeat) : nullptr;
    int x = 0;
    int y = 0;
    if (pPointer)
        gdk_device_get_position(pPointer, nullptr, &x, &y);
    return {x, y};
}

CWindowRef CGtkUi::WindowFromPoint(CPoint pt) const {
    // Popups lie above the dialogs; later windows above earlier ones.
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        const auto* pPopup = dynamic_cast<const CGtkPopupPeer*>(*it);
        if (!pPopup || !gtk_widget_get_visible(pPopup->m_pWindow) ||
            !pPopup->m_rcWindow.Contains(pt))
            continue;
        const CPoint o = pPopup->ClientOrigin();
        if (!pPopup->m_pRegion ||
            cairo_region_contains_point(pPopup->m_pRegion, pt.x - o.x, pt.y - o.y))
            return pPopup->m_owner.Ref();
    }
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        const auto* pDialog = dynamic_cast<const CGtkDialogPeer*>(*it);
        if (!pDialog || !gtk_widget_get_visible(pDialog->m_pWindow) ||
            !pDialog->m_rcWindow.Contains(pt))
            continue;
        const CPoint o = pDialog->ClientOrigin();
        const CPoint pc{pt.x - o.x, pt.y - o.y};
        for (const auto& item : pDialog->m_tmpl.items) {
            const CGtkCtrl* c = pDialog->Find(item.nId);
            if (!c)
                continue;
            const bool bTransparent =
                item.kind == CCtrlKind::GroupBox ||
                (item.kind == CCtrlKind::Static && !(item.dwStyle & CTRL_NOTIFY));
            if (c->bVisible && !bTransparent && c->rc.Contains(pc))
                return pDialog->m_owner.Ref(item.nId);
        }
        return pDialog->m_owner.Ref();
    }
    return {};
}

CSize CGtkUi::MeasureText(const std::string& strText, CUiFont /*font*/) const {
    PangoLayout* pLayout = gtk_widget_create_pango_layout(m_pMeasure, strText.c_str());
    int cx = 0;
    int cy = 0;
    pango_layout_get_pixel_size(pLayout, &cx, &cy);
    g_object_unref(pLayout);
    return {cx, cy};
}

CDialogBaseUnits CGtkUi::GetBaseUnits(const std::string& /*strFace*/, int /*nPoints*/) const {
    // The template fonts are not on the desktop: every dialog takes the interface font, which
    // its controls draw with too.
    if (!m_baseUnits) {
        PangoLayout* pLayout = gtk_widget_create_pango_layout(
            m_pMeasure, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        int cx = 0;
        int cy = 0;
        pango_layout_get_pixel_size(pLayout, &cx, &cy);
        g_object_unref(pLayout);
        m_baseUnits = CDialogBaseUnits::FromFontMetrics(cx, cy);
    }
    return *m_baseUnits;
}

std::uint64_t CGtkUi::GetTickCount() const {
    return static_cast<std::uint64_t>(g_get_monotonic_time() / 1000);
}
