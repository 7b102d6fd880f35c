// What every window of the GTK backend shares: its place in screen pixels, timers, showing, and
// the window manager's changes of size; Linux platform code.
#include "platform/gtk/gtk_peers.h"

#include <algorithm>

namespace {

constexpr const char* kStateKey = "mw-window-state";
// How long a place asked for may take to arrive before the window system's word is taken.
constexpr guint kPendingMs = 500;
// The shortest timer period, as the system's.
constexpr unsigned kMinTimerMs = 10;

LPARAM PackPoint(CPoint pt) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(pt.y & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(pt.x & 0xFFFF));
}

} // namespace

struct CGtkWindowState::CTimer {
    CGtkWindowState* pState;
    std::uintptr_t nId;
};

CGtkWindowState::CGtkWindowState(CGtkUi& ui, CUiWindow& owner, GtkWidget* pWindow)
    : m_ui(ui), m_owner(owner), m_pWindow(pWindow) {
    g_object_set_data(G_OBJECT(pWindow), kStateKey, this);
    gtk_widget_add_events(pWindow,
                          GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(pWindow, "configure-event", G_CALLBACK(OnConfigure), this);
    g_signal_connect(pWindow, "window-state-event", G_CALLBACK(OnWindowState), this);
    ui.m_windows.push_back(this);
}

CGtkWindowState::~CGtkWindowState() {
    DestroyWindow();
}

void CGtkWindowState::DestroyWindow() {
    if (!m_pWindow)
        return;
    for (const auto& [nId, nSource] : m_timers)
        g_source_remove(nSource);
    m_timers.clear();
    ClearPending();
    std::erase(m_ui.m_windows, this);
    g_signal_handlers_disconnect_matched(m_pWindow, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                         this);
    g_object_set_data(G_OBJECT(m_pWindow), kStateKey, nullptr);
    gtk_widget_destroy(m_pWindow);
    m_pWindow = nullptr;
}

CGtkWindowState* CGtkWindowState::FromWidget(GtkWidget* pWindow) {
    return pWindow ? static_cast<CGtkWindowState*>(g_object_get_data(G_OBJECT(pWindow), kStateKey))
                   : nullptr;
}

void CGtkWindowState::SetTimerNow(std::uintptr_t nId, unsigned nElapse) {
    KillTimerNow(nId);
    auto* pTimer = new CTimer{this, nId};
    m_timers[nId] = g_timeout_add_full(G_PRIORITY_DEFAULT, std::max(nElapse, kMinTimerMs), OnTimer,
                                       pTimer, [](gpointer p) { delete static_cast<CTimer*>(p); });
}

bool CGtkWindowState::KillTimerNow(std::uintptr_t nId) {
    const auto it = m_timers.find(nId);
    if (it == m_timers.end())
        return false;
    g_source_remove(it->second);
    m_timers.erase(it);
    return true;
}

gboolean CGtkWindowState::OnTimer(gpointer pData) {
    // The source keeps its data alive while it runs, even if the handler kills the timer.
    const auto* pTimer = static_cast<const CTimer*>(pData);
    pTimer->pState->m_owner.WindowProc(WM_TIMER, pTimer->nId, 0);
    return G_SOURCE_CONTINUE;
}

CRect CGtkWindowState::ClientRect() const {
    return {0, 0, std::max(0, m_rcWindow.Width() - m_frame.l - m_frame.r),
            std::max(0, m_rcWindow.Height() - m_frame.t - m_frame.b)};
}

void CGtkWindowState::MoveWindowNow(const CRect& rc) {
    m_bPlaced = true;
    const CRect rcOldClient = ClientRect();
    m_rcWindow = rc;
    const CRect rcClient = ClientRect();
    ApplyClientSize({std::max(1, rcClient.Width()), std::max(1, rcClient.Height())});
    // The frame's top-left corner goes to the point (north-west gravity).
    gtk_window_move(GTK_WINDOW(m_pWindow), rc.left, rc.top);
    if (gtk_widget_get_realized(m_pWindow))
        ExpectPlace(rc);
    if (rcClient.Width() != rcOldClient.Width() || rcClient.Height() != rcOldClient.Height())
        OnClientSized({rcClient.Width(), rcClient.Height()});
}

void CGtkWindowState::ExpectPlace(const CRect& rc) {
    m_rcPending = rc;
    if (m_nPendingTimer)
        g_source_remove(m_nPendingTimer);
    m_nPendingTimer = g_timeout_add(kPendingMs, OnPendingExpired, this);
}

void CGtkWindowState::ClearPending() {
    m_rcPending.reset();
    if (m_nPendingTimer) {
        g_source_remove(m_nPendingTimer);
        m_nPendingTimer = 0;
    }
}

gboolean CGtkWindowState::OnPendingExpired(gpointer pData) {
    auto* pSelf = static_cast<CGtkWindowState*>(pData);
    pSelf->m_nPendingTimer = 0;
    pSelf->m_rcPending.reset();
    // The window manager placed the window elsewhere (or did not move it): its place stands.
    GdkWindow* pGdk = gtk_widget_get_window(pSelf->m_pWindow);
    if (pGdk && gtk_widget_get_mapped(pSelf->m_pWindow)) {
        int x = 0;
        int y = 0;
        gdk_window_get_origin(pGdk, &x, &y);
        pSelf->OnPlace(
            CRect::FromXywh(x, y, gdk_window_get_width(pGdk), gdk_window_get_height(pGdk)), false);
    }
    return G_SOURCE_REMOVE;
}

gboolean CGtkWindowState::OnConfigure(GtkWidget* /*pWidget*/, GdkEventConfigure* pEvent,
                                      gpointer pData) {
    auto* pSelf = static_cast<CGtkWindowState*>(pData);
    // x and y are the client area's place on the screen (GDK translates them for toplevels).
    pSelf->OnPlace(CRect::FromXywh(pEvent->x, pEvent->y, pEvent->width, pEvent->height), true);
    return FALSE;
}

void CGtkWindowState::OnPlace(const CRect& rcClient, bool bFromEvent) {
    CFrame frame;
    if (GdkWindow* pGdk = gtk_widget_get_window(m_pWindow)) {
        GdkRectangle rcFrame;
        gdk_window_get_frame_extents(pGdk, &rcFrame);
        frame.l = std::max(0, rcClient.left - rcFrame.x);
        frame.t = std::max(0, rcClient.top - rcFrame.y);
        frame.r = std::max(0, rcFrame.x + rcFrame.width - rcClient.right);
        frame.b = std::max(0, rcFrame.y + rcFrame.height - rcClient.bottom);
    }
    const bool bFrameChanged = frame.l != m_frame.l || frame.t != m_frame.t ||
                               frame.r != m_frame.r || frame.b != m_frame.b;
    m_frame = frame;
    const CRect rcNew{rcClient.left - frame.l, rcClient.top - frame.t, rcClient.right + frame.r,
                      rcClient.bottom + frame.b};
    if (bFrameChanged && bFromEvent && m_rcWindow.Width() > 0) {
        if (m_bPlaced) {
            // The window manager framed the window (or took the frame away): a place the layer
            // gave is the frame's, so it is asked for again.
            MoveWindowNow(m_rcPending ? *m_rcPending : m_rcWindow);
            return;
        }
        // Framed as the template made it: the client area keeps the template's size and the
        // window takes the frame around it.
        ClearPending();
        const CRect rcOldClient = ClientRect();
        m_rcWindow = rcNew;
        const CRect rcNewClient = ClientRect();
        if (rcNewClient.Width() != rcOldClient.Width() ||
            rcNewClient.Height() != rcOldClient.Height())
            OnClientSized({rcNewClient.Width(), rcNewClient.Height()});
        return;
    }
    if (m_rcPending && bFromEvent) {
        // A step on the way to the place asked for.
        if (rcNew != *m_rcPending)
            return;
        ClearPending();
    }
    if (rcNew == m_rcWindow)
        return;
    const CRect rcOld = m_rcWindow;
    const bool bResized = rcNew.Width() != rcOld.Width() || rcNew.Height() != rcOld.Height();
    if (bResized && bFromEvent) {
        // The user dragged an edge: the window has its say over the size.
        OnUserSized(rcOld, rcNew);
        return;
    }
    const CRect rcOldClient = ClientRect();
    m_rcWindow = rcNew;
    const CRect rcNewClient = ClientRect();
    if (rcNewClient.Width() != rcOldClient.Width() || rcNewClient.Height() != rcOldClient.Height())
        OnClientSized({rcNewClient.Width(), rcNewClient.Height()});
}

void CGtkWindowState::OnUserSized(const CRect& /*rcOld*/, const CRect& rcNew) {
    const CRect rcOldClient = ClientRect();
    m_rcWindow = rcNew;
    const CRect rcClient = ClientRect();
    ApplyClientSize({std::max(1, rcClient.Width()), std::max(1, rcClient.Height())});
    if (rcClient.Width() != rcOldClient.Width() || rcClient.Height() != rcOldClient.Height())
        OnClientSized({rcClient.Width(), rcClient.Height()});
}

gboolean CGtkWindowState::OnWindowState(GtkWidget* /*pWidget*/, GdkEventWindowState* pEvent,
                                        gpointer pData) {
    auto* pSelf = static_cast<CGtkWindowState*>(pData);
    pSelf->m_bMinimized = (pEvent->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    return FALSE;
}

void CGtkWindowState::SetTopmostNow(bool bTopmost) {
    gtk_window_set_keep_above(GTK_WINDOW(m_pWindow), bTopmost);
}

void CGtkWindowState::ShowNow(bool bShow, bool bActivate) {
    GtkWindow* pWindow = GTK_WINDOW(m_pWindow);
    if (!bShow) {
        gtk_widget_hide(m_pWindow);
        return;
    }
    if (gtk_widget_get_visible(m_pWindow)) {
        if (bActivate)
            gtk_window_present(pWindow);
        return;
    }
    const bool bFocusOnMap = gtk_window_get_focus_on_map(pWindow);
    if (!bActivate)
        gtk_window_set_focus_on_map(pWindow, FALSE);
    gtk_widget_show(m_pWindow);
    gtk_window_set_focus_on_map(pWindow, bFocusOnMap);
}

void CGtkWindowState::SetTextNow(const std::string& strText) {
    m_strText = strText;
    gtk_window_set_title(GTK_WINDOW(m_pWindow), strText.c_str());
}

bool CGtkWindowState::OnMouse(unsigned nMsg, double xRoot, double yRoot) {
    const CPoint o = ClientOrigin();
    const CPoint pt{static_cast<int>(xRoot) - o.x, static_cast<int>(yRoot) - o.y};
    const CUiMessage msg{nMsg, 0, PackPoint(pt)};
    if (m_owner.PreTranslateMessage(msg))
        return true;
    m_owner.WindowProc(msg.nMsg, msg.wParam, msg.lParam);
    return false;
}
