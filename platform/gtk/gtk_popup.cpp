// The shaped popup window of the GTK backend (the info-tip): a tooltip-like window that never
// takes the focus, shaped by a cairo region, painted by its owner; Linux platform code.
#include "platform/gtk/gtk_peers.h"

#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

#include <vector>

CGtkPopupPeer::CGtkPopupPeer(CGtkUi& ui, CPopupWindow& owner, GtkWidget* pOwnerWindow)
    : CGtkPeer<CPopupPeer>(ui, owner, gtk_window_new(GTK_WINDOW_POPUP)), m_popup(owner) {
    GtkWindow* pWindow = GTK_WINDOW(m_pWindow);
    gtk_window_set_type_hint(pWindow, GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_window_set_accept_focus(pWindow, FALSE);
    gtk_window_set_focus_on_map(pWindow, FALSE);
    gtk_widget_set_app_paintable(m_pWindow, TRUE);
    if (pOwnerWindow)
        gtk_window_set_transient_for(pWindow, GTK_WINDOW(pOwnerWindow));
    g_signal_connect(m_pWindow, "draw", G_CALLBACK(OnDraw), this);
    // The shape goes to the X window once it exists.
    g_signal_connect_after(m_pWindow, "map", G_CALLBACK(OnMapped), this);
}

void CGtkPopupPeer::OnMapped(GtkWidget* /*pWidget*/, gpointer pData) {
    static_cast<CGtkPopupPeer*>(pData)->ApplyShape();
}

void CGtkPopupPeer::ApplyShape() {
    // Given to the X server directly: GDK keeps a popup's shape to itself (the server is not told,
    // so the cut corners would still be drawn and hit).
    GdkWindow* pGdk = gtk_widget_get_window(m_pWindow);
    if (!pGdk || !m_pRegion || !GDK_IS_X11_WINDOW(pGdk))
        return;
    std::vector<XRectangle> rects;
    for (int i = 0; i < cairo_region_num_rectangles(m_pRegion); ++i) {
        cairo_rectangle_int_t rc;
        cairo_region_get_rectangle(m_pRegion, i, &rc);
        rects.push_back({static_cast<short>(rc.x), static_cast<short>(rc.y),
                         static_cast<unsigned short>(rc.width),
                         static_cast<unsigned short>(rc.height)});
    }
    Display* pDisplay = GDK_WINDOW_XDISPLAY(pGdk);
    for (int nKind : {ShapeBounding, ShapeInput})
        XShapeCombineRectangles(pDisplay, GDK_WINDOW_XID(pGdk), nKind, 0, 0, rects.data(),
                                static_cast<int>(rects.size()), ShapeSet, YXBanded);
}

CGtkPopupPeer::~CGtkPopupPeer() {
    DestroyWindow();
    if (m_pRegion)
        cairo_region_destroy(m_pRegion);
}

void CGtkPopupPeer::ApplyClientSize(CSize size) {
    gtk_widget_set_size_request(m_pWindow, size.cx, size.cy);
    gtk_window_resize(GTK_WINDOW(m_pWindow), size.cx, size.cy);
}

void CGtkPopupPeer::SetRegion(const CRegionShape& shape) {
    if (m_pRegion)
        cairo_region_destroy(m_pRegion);
    m_shape = shape;
    m_pRegion = RegionFromShape(shape);
    // Outside the shape the window is neither drawn nor hit.
    ApplyShape();
    gtk_widget_queue_draw(m_pWindow);
}

gboolean CGtkPopupPeer::OnDraw(GtkWidget* pWidget, cairo_t* pCr, gpointer pData) {
    auto* pSelf = static_cast<CGtkPopupPeer*>(pData);
    CCairoSurface surface(pCr, pWidget);
    if (!pSelf->m_popup.OnPaint(surface)) {
        const GdkRGBA color = SysColor(pWidget, CSysColor::Window);
        gdk_cairo_set_source_rgba(pCr, &color);
        cairo_paint(pCr);
    }
    return TRUE;
}
