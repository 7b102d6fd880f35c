// The container of a dialog's controls: every control at exactly its template pixels, whatever the
// theme's minimum sizes, and Tab moving in template order as the dialog manager does; Linux
// platform code.
#include "platform/gtk/gtk_peers.h"

#include <algorithm>

namespace {

constexpr const char* kPeerKey = "mw-dialog-peer";
GtkWidgetClass* g_pParentClass = nullptr;

CGtkDialogPeer* PeerOf(GtkWidget* pWidget) {
    return static_cast<CGtkDialogPeer*>(g_object_get_data(G_OBJECT(pWidget), kPeerKey));
}

void PreferredWidth(GtkWidget* pWidget, gint* pMin, gint* pNatural) {
    int nMin = 1;
    int nNatural = 1;
    if (auto* pPeer = PeerOf(pWidget))
        pPeer->PreferredSize(nMin, nNatural, true);
    *pMin = nMin;
    *pNatural = nNatural;
}

void PreferredHeight(GtkWidget* pWidget, gint* pMin, gint* pNatural) {
    int nMin = 1;
    int nNatural = 1;
    if (auto* pPeer = PeerOf(pWidget))
        pPeer->PreferredSize(nMin, nNatural, false);
    *pMin = nMin;
    *pNatural = nNatural;
}

void SizeAllocate(GtkWidget* pWidget, GtkAllocation* pAlloc) {
    gtk_widget_set_allocation(pWidget, pAlloc);
    if (auto* pPeer = PeerOf(pWidget))
        pPeer->AllocateControls(*pAlloc);
}

// Tab and Shift+Tab follow the template's order of tab stops; other directions stay GTK's.
gboolean Focus(GtkWidget* pWidget, GtkDirectionType dir) {
    auto* pPeer = PeerOf(pWidget);
    if (!pPeer || (dir != GTK_DIR_TAB_FORWARD && dir != GTK_DIR_TAB_BACKWARD))
        return g_pParentClass->focus(pWidget, dir);
    std::vector<GtkWidget*> order = pPeer->TabOrder();
    if (dir == GTK_DIR_TAB_BACKWARD)
        std::reverse(order.begin(), order.end());
    GtkWidget* pCurrent = gtk_container_get_focus_child(GTK_CONTAINER(pWidget));
    auto it = order.begin();
    if (pCurrent) {
        it = std::find(order.begin(), order.end(), pCurrent);
        if (it != order.end()) {
            if (gtk_widget_child_focus(*it, dir))
                return TRUE;
            ++it;
        } else {
            it = order.begin();
        }
    }
    for (; it != order.end(); ++it)
        if (gtk_widget_get_visible(*it) && gtk_widget_is_sensitive(*it) &&
            gtk_widget_child_focus(*it, dir))
            return TRUE;
    return FALSE;
}

void ClassInit(gpointer pClass, gpointer /*pData*/) {
    auto* pWidgetClass = GTK_WIDGET_CLASS(pClass);
    g_pParentClass = GTK_WIDGET_CLASS(g_type_class_peek_parent(pClass));
    pWidgetClass->get_preferred_width = PreferredWidth;
    pWidgetClass->get_preferred_height = PreferredHeight;
    pWidgetClass->size_allocate = SizeAllocate;
    pWidgetClass->focus = Focus;
}

GType DialogContainerType() {
    static GType type = 0;
    if (type == 0) {
        GTypeQuery query;
        g_type_query(GTK_TYPE_FIXED, &query);
        type = g_type_register_static_simple(GTK_TYPE_FIXED, "MwDialogContainer", query.class_size,
                                             ClassInit, query.instance_size, nullptr,
                                             static_cast<GTypeFlags>(0));
    }
    return type;
}

} // namespace

GtkWidget* NewDialogContainer(CGtkDialogPeer* pPeer) {
    GtkWidget* pWidget = GTK_WIDGET(g_object_new(DialogContainerType(), nullptr));
    g_object_set_data(G_OBJECT(pWidget), kPeerKey, pPeer);
    return pWidget;
}

void DetachDialogContainer(GtkWidget* pContainer) {
    g_object_set_data(G_OBJECT(pContainer), kPeerKey, nullptr);
}
