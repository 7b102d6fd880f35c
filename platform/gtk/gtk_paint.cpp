// Drawing for the GTK backend: regions from the layer's shapes, a cairo paint surface, the system
// colours and the program's icon; Linux platform code.
#include "platform/gtk/gtk_peers.h"

#include "resources/resource.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A rectangle whose corners are quarter ellipses of the given width and height.
void RoundRectPath(cairo_t* pCr, const CRect& rc, CSize corner) {
    const double rx = std::min(corner.cx, rc.Width()) / 2.0;
    const double ry = std::min(corner.cy, rc.Height()) / 2.0;
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(pCr, rc.left, rc.top, rc.Width(), rc.Height());
        return;
    }
    const auto fnArc = [&](double cx, double cy, double a1, double a2) {
        cairo_save(pCr);
        cairo_translate(pCr, cx, cy);
        cairo_scale(pCr, rx, ry);
        cairo_arc(pCr, 0, 0, 1, a1, a2);
        cairo_restore(pCr);
    };
    cairo_new_sub_path(pCr);
    fnArc(rc.right - rx, rc.top + ry, -M_PI / 2, 0);
    fnArc(rc.right - rx, rc.bottom - ry, 0, M_PI / 2);
    fnArc(rc.left + rx, rc.bottom - ry, M_PI / 2, M_PI);
    fnArc(rc.left + rx, rc.top + ry, M_PI, 3 * M_PI / 2);
    cairo_close_path(pCr);
}

} // namespace

cairo_region_t* RegionFromShape(const CRegionShape& shape) {
    CRect bounds = shape.rcRound;
    for (const CPoint& pt : shape.polygon) {
        bounds.left = std::min(bounds.left, pt.x);
        bounds.top = std::min(bounds.top, pt.y);
        bounds.right = std::max(bounds.right, pt.x + 1);
        bounds.bottom = std::max(bounds.bottom, pt.y + 1);
    }
    if (bounds.Width() <= 0 || bounds.Height() <= 0)
        return cairo_region_create();
    // Rasterised without antialiasing: a pixel belongs to the region when its centre lies inside.
    cairo_surface_t* pMask =
        cairo_image_surface_create(CAIRO_FORMAT_A8, bounds.Width(), bounds.Height());
    cairo_t* pCr = cairo_create(pMask);
    cairo_set_antialias(pCr, CAIRO_ANTIALIAS_NONE);
    cairo_translate(pCr, -bounds.left, -bounds.top);
    if (shape.rcRound.Width() > 0 && shape.rcRound.Height() > 0) {
        RoundRectPath(pCr, shape.rcRound, shape.sizeCorner);
        cairo_fill(pCr);
    }
    if (shape.polygon.size() >= 3) {
        cairo_set_fill_rule(pCr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_move_to(pCr, shape.polygon[0].x, shape.polygon[0].y);
        for (std::size_t i = 1; i < shape.polygon.size(); ++i)
            cairo_line_to(pCr, shape.polygon[i].x, shape.polygon[i].y);
        cairo_close_path(pCr);
        cairo_fill(pCr);
    }
    cairo_destroy(pCr);
    cairo_surface_flush(pMask);
    cairo_region_t* pRegion = gdk_cairo_region_create_from_surface(pMask);
    cairo_surface_destroy(pMask);
    cairo_region_translate(pRegion, bounds.left, bounds.top);
    return pRegion;
}

GdkRGBA SysColor(GtkWidget* pWidget, CSysColor color) {
    struct CRole {
        const char* pName; // the theme's colour for the role
        GdkRGBA fallback;
    };
    CRole role{"theme_base_color", {1, 1, 1, 1}};
    switch (color) {
    case CSysColor::Window:
        break;
    case CSysColor::WindowText:
        role = {"theme_text_color", {0, 0, 0, 1}};
        break;
    case CSysColor::ScrollBar:
        role = {"borders", {0.784, 0.784, 0.784, 1}};
        break;
    case CSysColor::ButtonFace:
        role = {"theme_bg_color", {0.941, 0.941, 0.941, 1}};
        break;
    }
    GdkRGBA rgba;
    if (pWidget &&
        gtk_style_context_lookup_color(gtk_widget_get_style_context(pWidget), role.pName, &rgba))
        return rgba;
    return role.fallback;
}

GdkPixbuf* LoadIcon(int nIconId, int cx) {
    if (nIconId != IDR_MAINFRAME)
        return nullptr;
    int nSize = 256;
    for (int n : {16, 32, 48, 256})
        if (n >= cx) {
            nSize = n;
            break;
        }
    const std::string strPath = "/marlowick/icon/marlowick-" + std::to_string(nSize) + ".png";
    GdkPixbuf* pIcon = gdk_pixbuf_new_from_resource(strPath.c_str(), nullptr);
    if (pIcon && gdk_pixbuf_get_width(pIcon) != cx && cx > 0) {
        GdkPixbuf* pScaled = gdk_pixbuf_scale_simple(pIcon, cx, cx, GDK_INTERP_BILINEAR);
        g_object_unref(pIcon);
        pIcon = pScaled;
    }
    return pIcon;
}

void CCairoSurface::FillRegion(const CRegionShape& shape, CSysColor color) {
    cairo_region_t* pRegion = RegionFromShape(shape);
    const GdkRGBA rgba = SysColor(m_pWidget, color);
    cairo_save(m_pCr);
    gdk_cairo_region(m_pCr, pRegion);
    gdk_cairo_set_source_rgba(m_pCr, &rgba);
    cairo_fill(m_pCr);
    cairo_restore(m_pCr);
    cairo_region_destroy(pRegion);
}

void CCairoSurface::FrameRegion(const CRegionShape& shape, CSysColor color, int cx, int cy) {
    cairo_region_t* pRegion = RegionFromShape(shape);
    // The inside is what stays in the region when it moves by the frame's width either way.
    cairo_region_t* pInside = cairo_region_copy(pRegion);
    for (const auto& [dx, dy] :
         {std::pair{-cx, 0}, std::pair{cx, 0}, std::pair{0, -cy}, std::pair{0, cy}}) {
        cairo_region_t* pMoved = cairo_region_copy(pRegion);
        cairo_region_translate(pMoved, dx, dy);
        cairo_region_intersect(pInside, pMoved);
        cairo_region_destroy(pMoved);
    }
    cairo_region_subtract(pRegion, pInside);
    const GdkRGBA rgba = SysColor(m_pWidget, color);
    cairo_save(m_pCr);
    gdk_cairo_region(m_pCr, pRegion);
    gdk_cairo_set_source_rgba(m_pCr, &rgba);
    cairo_fill(m_pCr);
    cairo_restore(m_pCr);
    cairo_region_destroy(pInside);
    cairo_region_destroy(pRegion);
}

void CCairoSurface::DrawTextIn(const CRect& rc, const std::string& strText, CUiFont /*font*/) {
    // The interface font, as MeasureText measures; no width, so lines break only at line breaks.
    PangoLayout* pLayout = gtk_widget_create_pango_layout(m_pWidget, strText.c_str());
    const GdkRGBA rgba = SysColor(m_pWidget, CSysColor::WindowText);
    cairo_save(m_pCr);
    cairo_rectangle(m_pCr, rc.left, rc.top, rc.Width(), rc.Height());
    cairo_clip(m_pCr);
    gdk_cairo_set_source_rgba(m_pCr, &rgba);
    cairo_move_to(m_pCr, rc.left, rc.top);
    pango_cairo_show_layout(m_pCr, pLayout);
    cairo_restore(m_pCr);
    g_object_unref(pLayout);
}

void CCairoSurface::DrawIcon(CPoint pt, int nIconId, CSize size) {
    GdkPixbuf* pIcon = LoadIcon(nIconId, size.cx);
    if (!pIcon)
        return;
    cairo_save(m_pCr);
    if (gdk_pixbuf_get_height(pIcon) != size.cy && size.cy > 0) {
        cairo_translate(m_pCr, pt.x, pt.y);
        cairo_scale(m_pCr, 1.0, static_cast<double>(size.cy) / gdk_pixbuf_get_height(pIcon));
        gdk_cairo_set_source_pixbuf(m_pCr, pIcon, 0, 0);
    } else {
        gdk_cairo_set_source_pixbuf(m_pCr, pIcon, pt.x, pt.y);
    }
    cairo_paint(m_pCr);
    cairo_restore(m_pCr);
    g_object_unref(pIcon);
}
