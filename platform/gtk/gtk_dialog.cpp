// A dialog of the GTK backend: a GtkWindow whose container places the template's controls at
// their pixels, the modal loop, and the controls' state and input; Linux platform code.
#include "platform/gtk/gtk_peers.h"

#include "resources/resource.h"

#include <webkit2/webkit2.h>

#include <algorithm>

namespace {

// A list view has at most this many columns.
constexpr int kMaxColumns = 8;

// Blocks the peer's handlers on a control's widgets while the peer changes it: what GTK signals
// then is the program's change, not the user's.
class CMuted {
public:
    CMuted(const CGtkCtrl& c, gpointer pPeer) : m_pPeer(pPeer) {
        m_objects.push_back(G_OBJECT(c.pInner));
        if (GTK_IS_TREE_VIEW(c.pInner))
            m_objects.push_back(G_OBJECT(gtk_tree_view_get_selection(GTK_TREE_VIEW(c.pInner))));
        for (GObject* p : m_objects)
            g_signal_handlers_block_matched(p, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                            m_pPeer);
    }
    ~CMuted() {
        for (GObject* p : m_objects)
            g_signal_handlers_unblock_matched(p, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                              m_pPeer);
    }
    CMuted(const CMuted&) = delete;
    CMuted& operator=(const CMuted&) = delete;

private:
    gpointer m_pPeer;
    std::vector<GObject*> m_objects;
};

// The virtual-key code of a key, for the keys the dialogs know; 0 for others.
int VirtualKey(guint nKeyval) {
    switch (nKeyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return VK_RETURN;
    case GDK_KEY_Escape:
        return VK_ESCAPE;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
        return 0x09;
    case GDK_KEY_BackSpace:
        return 0x08;
    case GDK_KEY_space:
        return 0x20;
    case GDK_KEY_Page_Up:
        return 0x21;
    case GDK_KEY_Page_Down:
        return 0x22;
    case GDK_KEY_End:
        return 0x23;
    case GDK_KEY_Home:
        return 0x24;
    case GDK_KEY_Left:
        return 0x25;
    case GDK_KEY_Up:
        return 0x26;
    case GDK_KEY_Right:
        return 0x27;
    case GDK_KEY_Down:
        return 0x28;
    case GDK_KEY_Insert:
        return 0x2D;
    case GDK_KEY_Delete:
        return 0x2E;
    default:
        break;
    }
    if (nKeyval >= GDK_KEY_F1 && nKeyval <= GDK_KEY_F12)
        return 0x70 + static_cast<int>(nKeyval - GDK_KEY_F1);
    const guint nUpper = gdk_keyval_to_upper(nKeyval);
    if ((nUpper >= GDK_KEY_A && nUpper <= GDK_KEY_Z) ||
        (nUpper >= GDK_KEY_0 && nUpper <= GDK_KEY_9))
        return static_cast<int>(nUpper);
    return 0;
}

// The edge a window manager's resize moved, from the rectangles before and after.
std::optional<CSizingEdge> EdgeOf(const CRect& rcOld, const CRect& rcNew) {
    const bool bWidth = rcNew.Width() != rcOld.Width();
    const bool bHeight = rcNew.Height() != rcOld.Height();
    const bool bLeft = bWidth && rcNew.left != rcOld.left && rcNew.right == rcOld.right;
    const bool bTop = bHeight && rcNew.top != rcOld.top && rcNew.bottom == rcOld.bottom;
    if (bWidth && bHeight) {
        if (bLeft)
            return bTop ? CSizingEdge::TopLeft : CSizingEdge::BottomLeft;
        return bTop ? CSizingEdge::TopRight : CSizingEdge::BottomRight;
    }
    if (bWidth)
        return bLeft ? CSizingEdge::Left : CSizingEdge::Right;
    if (bHeight)
        return bTop ? CSizingEdge::Top : CSizingEdge::Bottom;
    return std::nullopt;
}

// Sorted list boxes order their lines by the locale's collation, without regard to case.
bool CollatesBefore(const std::string& a, const std::string& b) {
    gchar* pa = g_utf8_casefold(a.c_str(), -1);
    gchar* pb = g_utf8_casefold(b.c_str(), -1);
    const bool bLess = g_utf8_collate(pa, pb) < 0;
    g_free(pa);
    g_free(pb);
    return bLess;
}

// While a list takes the focus, GTK would select its first row; the dialog manager does not.
gboolean AllowSelect(GtkTreeSelection* /*pSelection*/, GtkTreeModel* /*pModel*/,
                     GtkTreePath* /*pPath*/, gboolean /*bSelected*/, gpointer pData) {
    return !static_cast<const CGtkCtrl*>(pData)->bFocusing;
}

void OnFocusBegin(GtkWidget* /*pWidget*/, gpointer pData) {
    static_cast<CGtkCtrl*>(pData)->bFocusing = true;
}

void OnFocusEnd(GtkWidget* /*pWidget*/, gpointer pData) {
    static_cast<CGtkCtrl*>(pData)->bFocusing = false;
}

// A read-only box looks it, as on the system it comes from: GTK's own entry does not tell.
void SetEditable(GtkWidget* pEntry, bool bEditable) {
    gtk_editable_set_editable(GTK_EDITABLE(pEntry), bEditable);
    GtkStyleContext* pStyle = gtk_widget_get_style_context(pEntry);
    if (bEditable)
        gtk_style_context_remove_class(pStyle, "mw-read-only");
    else
        gtk_style_context_add_class(pStyle, "mw-read-only");
}

bool GetIter(GtkListStore* pStore, int nRow, GtkTreeIter& it) {
    return nRow >= 0 &&
           gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(pStore), &it, nullptr, nRow) != FALSE;
}

std::string GetCell(GtkListStore* pStore, int nRow, int nCol) {
    GtkTreeIter it;
    if (!GetIter(pStore, nRow, it))
        return {};
    gchar* p = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(pStore), &it, nCol, &p, -1);
    std::string str = p ? p : "";
    g_free(p);
    return str;
}

GtkWidget* ScrolledList(GtkWidget* pView, const CDlgItem& item) {
    GtkWidget* pScrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(pScrolled), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(pScrolled), (item.dwStyle & CTRL_BORDER)
                                                                            ? GTK_SHADOW_IN
                                                                            : GTK_SHADOW_NONE);
    gtk_container_add(GTK_CONTAINER(pScrolled), pView);
    gtk_widget_show(pView);
    return pScrolled;
}

} // namespace

// ---- Building

CGtkDialogPeer::CGtkDialogPeer(CGtkUi& ui, CDialog& owner, const CDlgTemplate& tmpl,
                               GtkWidget* pParent)
    : CGtkPeer<CDialogPeer>(ui, owner, gtk_window_new(GTK_WINDOW_TOPLEVEL)), m_dialog(owner),
      m_tmpl(tmpl) {
    GtkWindow* pWindow = GTK_WINDOW(m_pWindow);
    m_strText = tmpl.strCaption;
    gtk_window_set_title(pWindow, tmpl.strCaption.c_str());
    gtk_window_set_decorated(pWindow,
                             (tmpl.dwStyle & (DLG_CAPTION | DLG_MODALFRAME | DLG_THICKFRAME)) != 0);
    gtk_window_set_deletable(pWindow, (tmpl.dwStyle & DLG_SYSMENU) != 0);
    gtk_window_set_resizable(pWindow, (tmpl.dwStyle & DLG_THICKFRAME) != 0);
    gtk_window_set_type_hint(pWindow, (tmpl.dwStyle & DLG_APPWINDOW) ? GDK_WINDOW_TYPE_HINT_NORMAL
                                                                     : GDK_WINDOW_TYPE_HINT_DIALOG);
    if (pParent)
        gtk_window_set_transient_for(pWindow, GTK_WINDOW(pParent));

    m_pFixed = NewDialogContainer(this);
    gtk_style_context_add_class(gtk_widget_get_style_context(m_pFixed), "mw-dialog");
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pFixed);
    gtk_widget_show(m_pFixed);

    const CDialogBaseUnits base = ui.GetBaseUnits(tmpl.strFontFace, tmpl.nFontPoints);
    m_sizeClient = {base.ToPixelsX(tmpl.cx), base.ToPixelsY(tmpl.cy)};
    Build(base);

    // A popup dialog's place counts from its owner's client area, or from the screen.
    CPoint origin;
    if (const CGtkWindowState* pOwner = CGtkWindowState::FromWidget(pParent))
        origin = pOwner->ClientOrigin();
    m_rcWindow =
        CRect::FromXywh(origin.x + base.ToPixelsX(tmpl.x), origin.y + base.ToPixelsY(tmpl.y),
                        m_sizeClient.cx, m_sizeClient.cy);
    gtk_window_move(pWindow, m_rcWindow.left, m_rcWindow.top);
    gtk_window_set_default_size(pWindow, m_sizeClient.cx, m_sizeClient.cy);

    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(m_pFixed, "draw", G_CALLBACK(OnDraw), this);
}

CGtkDialogPeer::~CGtkDialogPeer() {
    DetachDialogContainer(m_pFixed);
    for (const auto& c : m_ctrls) {
        g_signal_handlers_disconnect_matched(c->pInner, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                             this);
        if (GTK_IS_TREE_VIEW(c->pInner)) {
            GtkTreeSelection* pSel = gtk_tree_view_get_selection(GTK_TREE_VIEW(c->pInner));
            g_signal_handlers_disconnect_matched(pSel, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                                 this);
            g_signal_handlers_disconnect_matched(c->pInner, G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                                 nullptr, c.get());
            gtk_tree_selection_set_select_function(pSel, nullptr, nullptr, nullptr);
        }
    }
    g_signal_handlers_disconnect_matched(m_pFixed, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                         this);
    DestroyWindow();
}

void CGtkDialogPeer::Build(const CDialogBaseUnits& base) {
    for (const auto& item : m_tmpl.items) {
        auto c = std::make_unique<CGtkCtrl>();
        c->item = item;
        c->rc = base.ItemRect(item);
        c->bVisible = (item.dwStyle & CTRL_HIDDEN) == 0;
        const char* pText = item.strText.c_str();
        switch (item.kind) {
        case CCtrlKind::Static: {
            GtkWidget* pLabel = gtk_label_new(pText);
            gtk_label_set_xalign(GTK_LABEL(pLabel), 0.0f);
            gtk_label_set_yalign(GTK_LABEL(pLabel), 0.0f);
            gtk_label_set_line_wrap(GTK_LABEL(pLabel), TRUE);
            gtk_label_set_line_wrap_mode(GTK_LABEL(pLabel), PANGO_WRAP_WORD_CHAR);
            c->pOuter = c->pInner = pLabel;
            break;
        }
        case CCtrlKind::PushButton:
        case CCtrlKind::CheckBox: {
            GtkWidget* pButton = item.kind == CCtrlKind::PushButton
                                     ? gtk_button_new_with_label(pText)
                                     : gtk_check_button_new_with_label(pText);
            g_signal_connect(pButton, "clicked", G_CALLBACK(OnClicked), this);
            if (item.kind == CCtrlKind::PushButton && (item.dwStyle & CTRL_DEFAULT))
                gtk_widget_set_can_default(pButton, TRUE);
            c->pOuter = c->pInner = pButton;
            break;
        }
        case CCtrlKind::GroupBox:
            c->pOuter = c->pInner = gtk_frame_new(item.strText.empty() ? nullptr : pText);
            break;
        case CCtrlKind::Edit: {
            GtkWidget* pEntry = gtk_entry_new();
            gtk_entry_set_text(GTK_ENTRY(pEntry), pText);
            gtk_entry_set_width_chars(GTK_ENTRY(pEntry), 1);
            gtk_entry_set_has_frame(GTK_ENTRY(pEntry), (item.dwStyle & CTRL_BORDER) != 0);
            if (item.dwStyle & CTRL_PASSWORD) {
                gtk_entry_set_visibility(GTK_ENTRY(pEntry), FALSE);
                gtk_entry_set_input_purpose(GTK_ENTRY(pEntry), GTK_INPUT_PURPOSE_PASSWORD);
            }
            SetEditable(pEntry, (item.dwStyle & CTRL_READONLY) == 0);
            g_signal_connect(pEntry, "changed", G_CALLBACK(OnChanged), this);
            c->pOuter = c->pInner = pEntry;
            break;
        }
        case CCtrlKind::ListBox: {
            c->pStore = gtk_list_store_new(1, G_TYPE_STRING);
            GtkWidget* pView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(c->pStore));
            g_object_unref(c->pStore); // the view keeps it
            gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(pView), FALSE);
            gtk_tree_view_insert_column_with_attributes(
                GTK_TREE_VIEW(pView), -1, "", gtk_cell_renderer_text_new(), "text", 0, nullptr);
            g_signal_connect(pView, "row-activated", G_CALLBACK(OnRowActivated), this);
            c->pInner = pView;
            c->pOuter = ScrolledList(pView, item);
            break;
        }
        case CCtrlKind::ListView: {
            GType types[kMaxColumns];
            std::fill(std::begin(types), std::end(types), G_TYPE_STRING);
            c->pStore = gtk_list_store_newv(kMaxColumns, types);
            GtkWidget* pView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(c->pStore));
            g_object_unref(c->pStore);
            gtk_tree_view_set_headers_clickable(GTK_TREE_VIEW(pView), FALSE);
            c->pInner = pView;
            c->pOuter = ScrolledList(pView, item);
            break;
        }
        case CCtrlKind::WebBrowser:
            // The web view itself is made when the page is first needed.
            c->pOuter = c->pInner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            break;
        }
        if (GTK_IS_TREE_VIEW(c->pInner)) {
            GtkTreeSelection* pSel = gtk_tree_view_get_selection(GTK_TREE_VIEW(c->pInner));
            gtk_tree_selection_set_mode(pSel, GTK_SELECTION_SINGLE);
            gtk_tree_selection_set_select_function(pSel, AllowSelect, c.get(), nullptr);
            g_signal_connect(pSel, "changed", G_CALLBACK(OnSelectionChanged), this);
            g_signal_connect(c->pInner, "grab-focus", G_CALLBACK(OnFocusBegin), c.get());
            g_signal_connect_after(c->pInner, "grab-focus", G_CALLBACK(OnFocusEnd), c.get());
        }
        gtk_widget_set_sensitive(c->pOuter, (item.dwStyle & CTRL_DISABLED) == 0);
        gtk_widget_set_visible(c->pInner, TRUE);
        gtk_widget_set_visible(c->pOuter, c->bVisible);
        if (item.dwStyle & CTRL_TABSTOP)
            m_tabOrder.push_back(c->pOuter);
        m_ctrls.push_back(std::move(c));
    }
    // The first control of the template lies on top: GTK draws the last child added on top.
    for (auto it = m_ctrls.rbegin(); it != m_ctrls.rend(); ++it)
        gtk_fixed_put(GTK_FIXED(m_pFixed), (*it)->pOuter, (*it)->rc.left, (*it)->rc.top);
    for (const auto& c : m_ctrls)
        if (c->item.kind == CCtrlKind::PushButton && (c->item.dwStyle & CTRL_DEFAULT)) {
            gtk_window_set_default(GTK_WINDOW(m_pWindow), c->pInner);
            break;
        }
}

// ---- Placing

void CGtkDialogPeer::AllocateControls(const GtkAllocation& alloc) {
    for (const auto& c : m_ctrls) {
        if (!gtk_widget_get_visible(c->pOuter))
            continue;
        // GTK wants to be asked for sizes before it allocates; the template's pixels stand.
        gtk_widget_get_preferred_size(c->pOuter, nullptr, nullptr);
        GtkAllocation a{alloc.x + c->rc.left, alloc.y + c->rc.top, std::max(1, c->rc.Width()),
                        std::max(1, c->rc.Height())};
        gtk_widget_size_allocate(c->pOuter, &a);
    }
}

void CGtkDialogPeer::PreferredSize(int& nMin, int& nNatural, bool bWidth) const {
    nNatural = std::max(1, bWidth ? m_sizeClient.cx : m_sizeClient.cy);
    // A sizing border lets the user drag the window smaller; OnSizing has the last word.
    nMin = (m_tmpl.dwStyle & DLG_THICKFRAME) ? 1 : nNatural;
}

void CGtkDialogPeer::ApplyClientSize(CSize size) {
    m_sizeClient = size;
    gtk_widget_queue_resize(m_pFixed);
    if (gtk_window_get_resizable(GTK_WINDOW(m_pWindow)))
        gtk_window_resize(GTK_WINDOW(m_pWindow), size.cx, size.cy);
}

void CGtkDialogPeer::OnUserSized(const CRect& rcOld, const CRect& rcNew) {
    const auto edge = EdgeOf(rcOld, rcNew);
    const CRect rcTaken = edge ? m_dialog.AcceptSizing(*edge, rcNew) : rcNew;
    if (rcTaken == rcNew)
        CGtkWindowState::OnUserSized(rcOld, rcNew);
    else
        MoveWindowNow(rcTaken);
}

void CGtkDialogPeer::OnClientSized(CSize size) {
    m_dialog.WindowProc(WM_SIZE, 0, SizeParam(size.cx, size.cy));
}

// ---- The modal run

int CGtkDialogPeer::RunModal() {
    m_dialog.WindowProc(WM_INITDIALOG, 0, 0);
    if (!m_bEnded) {
        if (gtk_window_get_transient_for(GTK_WINDOW(m_pWindow)))
            gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
        ShowNow(true, true);
        for (const auto& c : m_ctrls)
            MakeWebViewIfShown(*c);
        m_pLoop = g_main_loop_new(nullptr, FALSE);
        m_ui.m_modal.push_back(this);
        if (!m_bEnded)
            g_main_loop_run(m_pLoop);
        std::erase(m_ui.m_modal, this);
        g_main_loop_unref(m_pLoop);
        m_pLoop = nullptr;
    }
    gtk_widget_hide(m_pWindow);
    return m_nResult;
}

void CGtkDialogPeer::EndModal(int nResult) {
    m_nResult = nResult;
    m_bEnded = true;
    if (m_pLoop)
        g_main_loop_quit(m_pLoop);
}

// ---- Input

void CGtkDialogPeer::Notify(int nId, int nNotify) {
    m_dialog.WindowProc(WM_COMMAND, MakeCommandParam(nId, nNotify), 0);
}

void CGtkDialogPeer::OnClicked(GtkButton* pButton, gpointer pData) {
    auto* pSelf = static_cast<CGtkDialogPeer*>(pData);
    if (const CGtkCtrl* c = pSelf->CtrlOfWidget(GTK_WIDGET(pButton)))
        pSelf->Notify(c->item.nId, BN_CLICKED);
}

void CGtkDialogPeer::OnChanged(GtkEditable* pEditable, gpointer pData) {
    auto* pSelf = static_cast<CGtkDialogPeer*>(pData);
    if (const CGtkCtrl* c = pSelf->CtrlOfWidget(GTK_WIDGET(pEditable)))
        pSelf->Notify(c->item.nId, EN_CHANGE);
}

void CGtkDialogPeer::OnSelectionChanged(GtkTreeSelection* pSelection, gpointer pData) {
    auto* pSelf = static_cast<CGtkDialogPeer*>(pData);
    CGtkCtrl* c = pSelf->CtrlOfWidget(GTK_WIDGET(gtk_tree_selection_get_tree_view(pSelection)));
    if (!c || c->item.kind != CCtrlKind::ListBox)
        return;
    // GTK also signals when nothing changed (a click on the selected line): report changes only.
    const int nRow = pSelf->CurrentRow(*c);
    if (nRow == c->nReportedSel)
        return;
    c->nReportedSel = nRow;
    if ((c->item.dwStyle & CTRL_NOTIFY) && nRow >= 0)
        pSelf->Notify(c->item.nId, LBN_SELCHANGE);
}

void CGtkDialogPeer::OnRowActivated(GtkTreeView* pView, GtkTreePath* /*pPath*/,
                                    GtkTreeViewColumn* /*pColumn*/, gpointer pData) {
    auto* pSelf = static_cast<CGtkDialogPeer*>(pData);
    const CGtkCtrl* c = pSelf->CtrlOfWidget(GTK_WIDGET(pView));
    if (c && c->item.kind == CCtrlKind::ListBox && (c->item.dwStyle & CTRL_NOTIFY))
        pSelf->Notify(c->item.nId, LBN_DBLCLK);
}

gboolean CGtkDialogPeer::OnDelete(GtkWidget* /*pWidget*/, GdkEvent* /*pEvent*/, gpointer pData) {
    static_cast<CGtkDialogPeer*>(pData)->m_dialog.WindowProc(WM_CLOSE, 0, 0);
    return TRUE; // the dialog decides whether it ends
}

gboolean CGtkDialogPeer::OnDraw(GtkWidget* pWidget, cairo_t* pCr, gpointer pData) {
    CCairoSurface surface(pCr, pWidget);
    static_cast<CGtkDialogPeer*>(pData)->m_dialog.OnPaint(surface);
    return FALSE; // the controls are drawn on top
}

bool CGtkDialogPeer::OnKey(unsigned nKeyval, GtkWidget* pFocus) {
    // A page in the browser control takes its own keys, Enter and Escape included.
    if (const CGtkCtrl* c = CtrlOfWidget(pFocus); c && c->item.kind == CCtrlKind::WebBrowser)
        return false;
    const int nVirtKey = VirtualKey(nKeyval);
    if (nVirtKey == 0)
        return false;
    const bool bUsed = m_dialog.HandleDialogKey(nVirtKey);
    // Enter and Escape belong to the dialog even when they do nothing (a disabled default button).
    return bUsed || nVirtKey == VK_RETURN || nVirtKey == VK_ESCAPE;
}

// ---- Controls

CGtkCtrl* CGtkDialogPeer::Find(int nId) const {
    if (nId == -1)
        return nullptr;
    for (const auto& c : m_ctrls)
        if (c->item.nId == nId)
            return c.get();
    return nullptr;
}

CGtkCtrl* CGtkDialogPeer::Find(int nId, CCtrlKind kind) const {
    CGtkCtrl* c = Find(nId);
    return c && c->item.kind == kind ? c : nullptr;
}

CGtkCtrl* CGtkDialogPeer::CtrlOfWidget(GtkWidget* pWidget) const {
    for (; pWidget && pWidget != m_pFixed; pWidget = gtk_widget_get_parent(pWidget))
        for (const auto& c : m_ctrls)
            if (c->pOuter == pWidget || c->pInner == pWidget)
                return c.get();
    return nullptr;
}

void CGtkDialogPeer::SetItemText(int nId, const std::string& strText) {
    CGtkCtrl* c = Find(nId);
    if (!c)
        return;
    CMuted muted(*c, this);
    const char* p = strText.c_str();
    switch (c->item.kind) {
    case CCtrlKind::Static:
        gtk_label_set_text(GTK_LABEL(c->pInner), p);
        break;
    case CCtrlKind::PushButton:
    case CCtrlKind::CheckBox:
        gtk_button_set_label(GTK_BUTTON(c->pInner), p);
        break;
    case CCtrlKind::GroupBox:
        gtk_frame_set_label(GTK_FRAME(c->pInner), strText.empty() ? nullptr : p);
        break;
    case CCtrlKind::Edit:
        gtk_entry_set_text(GTK_ENTRY(c->pInner), p);
        break;
    default:
        c->item.strText = strText;
        break;
    }
}

std::string CGtkDialogPeer::GetItemText(int nId) const {
    const CGtkCtrl* c = Find(nId);
    if (!c)
        return {};
    const char* p = nullptr;
    switch (c->item.kind) {
    case CCtrlKind::Static:
        p = gtk_label_get_text(GTK_LABEL(c->pInner));
        break;
    case CCtrlKind::PushButton:
    case CCtrlKind::CheckBox:
        p = gtk_button_get_label(GTK_BUTTON(c->pInner));
        break;
    case CCtrlKind::GroupBox:
        p = gtk_frame_get_label(GTK_FRAME(c->pInner));
        break;
    case CCtrlKind::Edit:
        p = gtk_entry_get_text(GTK_ENTRY(c->pInner));
        break;
    default:
        return c->item.strText;
    }
    return p ? p : "";
}

void CGtkDialogPeer::SetCheck(int nId, int nCheck) {
    CGtkCtrl* c = Find(nId, CCtrlKind::CheckBox);
    if (!c)
        return;
    CMuted muted(*c, this);
    gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(c->pInner), nCheck == 2);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->pInner), nCheck == 1);
}

int CGtkDialogPeer::GetCheck(int nId) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::CheckBox);
    if (!c)
        return 0;
    if (gtk_toggle_button_get_inconsistent(GTK_TOGGLE_BUTTON(c->pInner)))
        return 2;
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->pInner)) ? 1 : 0;
}

void CGtkDialogPeer::ShowItem(int nId, bool bShow) {
    CGtkCtrl* c = Find(nId);
    if (!c)
        return;
    c->bVisible = bShow;
    gtk_widget_set_visible(c->pOuter, bShow);
    MakeWebViewIfShown(*c);
}

bool CGtkDialogPeer::IsItemVisible(int nId) const {
    const CGtkCtrl* c = Find(nId);
    return c && c->bVisible && gtk_widget_get_visible(m_pWindow);
}

void CGtkDialogPeer::EnableItem(int nId, bool bEnable) {
    if (CGtkCtrl* c = Find(nId))
        gtk_widget_set_sensitive(c->pOuter, bEnable);
}

bool CGtkDialogPeer::IsItemEnabled(int nId) const {
    const CGtkCtrl* c = Find(nId);
    return c && gtk_widget_get_sensitive(c->pOuter);
}

void CGtkDialogPeer::SetItemReadOnly(int nId, bool bReadOnly) {
    if (CGtkCtrl* c = Find(nId, CCtrlKind::Edit))
        SetEditable(c->pInner, !bReadOnly);
}

bool CGtkDialogPeer::IsItemReadOnly(int nId) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::Edit);
    return c && !gtk_editable_get_editable(GTK_EDITABLE(c->pInner));
}

CRect CGtkDialogPeer::GetItemRect(int nId) const {
    const CGtkCtrl* c = Find(nId);
    if (!c)
        return {};
    const CPoint o = ClientOrigin();
    return {c->rc.left + o.x, c->rc.top + o.y, c->rc.right + o.x, c->rc.bottom + o.y};
}

void CGtkDialogPeer::MoveItem(int nId, const CRect& rc) {
    CGtkCtrl* c = Find(nId);
    if (!c)
        return;
    c->rc = rc;
    gtk_fixed_move(GTK_FIXED(m_pFixed), c->pOuter, rc.left, rc.top);
    gtk_widget_queue_resize(m_pFixed);
    MakeWebViewIfShown(*c);
}

void CGtkDialogPeer::SetFocusItem(int nId) {
    CGtkCtrl* c = Find(nId);
    if (!c)
        return;
    GtkWidget* pTarget = c->pWeb ? c->pWeb : c->pInner;
    gtk_widget_grab_focus(pTarget);
}

int CGtkDialogPeer::GetFocusItem() const {
    const CGtkCtrl* c = CtrlOfWidget(gtk_window_get_focus(GTK_WINDOW(m_pWindow)));
    return c ? c->item.nId : 0;
}

// ---- List box

int CGtkDialogPeer::CurrentRow(const CGtkCtrl& c) const {
    GtkTreeSelection* pSel = gtk_tree_view_get_selection(GTK_TREE_VIEW(c.pInner));
    GtkTreeModel* pModel = nullptr;
    GtkTreeIter it;
    if (!gtk_tree_selection_get_selected(pSel, &pModel, &it))
        return -1;
    GtkTreePath* pPath = gtk_tree_model_get_path(pModel, &it);
    const int nRow = gtk_tree_path_get_indices(pPath)[0];
    gtk_tree_path_free(pPath);
    return nRow;
}

void CGtkDialogPeer::SelectRow(CGtkCtrl& c, int nRow) {
    CMuted muted(c, this);
    GtkTreeSelection* pSel = gtk_tree_view_get_selection(GTK_TREE_VIEW(c.pInner));
    GtkTreeIter it;
    if (GetIter(c.pStore, nRow, it)) {
        gtk_tree_selection_select_iter(pSel, &it);
        GtkTreePath* pPath = gtk_tree_model_get_path(GTK_TREE_MODEL(c.pStore), &it);
        if (gtk_widget_get_realized(c.pInner))
            gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(c.pInner), pPath, nullptr, FALSE, 0, 0);
        gtk_tree_path_free(pPath);
    } else {
        gtk_tree_selection_unselect_all(pSel);
    }
    c.nReportedSel = CurrentRow(c);
}

int CGtkDialogPeer::LbAddString(int nId, const std::string& strLine) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    if (!c)
        return -1;
    auto pos = c->lines.end();
    if (c->item.dwStyle & CTRL_SORT)
        pos = std::upper_bound(c->lines.begin(), c->lines.end(), strLine, CollatesBefore);
    const int nIndex = static_cast<int>(pos - c->lines.begin());
    return LbInsertString(nId, nIndex, strLine);
}

int CGtkDialogPeer::LbInsertString(int nId, int nIndex, const std::string& strLine) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    if (!c || nIndex > static_cast<int>(c->lines.size()))
        return -1;
    if (nIndex < 0)
        nIndex = static_cast<int>(c->lines.size());
    CMuted muted(*c, this);
    c->lines.insert(c->lines.begin() + nIndex, strLine);
    gtk_list_store_insert_with_values(c->pStore, nullptr, nIndex, 0, strLine.c_str(), -1);
    c->nReportedSel = CurrentRow(*c);
    return nIndex;
}

int CGtkDialogPeer::LbDeleteString(int nId, int nIndex) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    GtkTreeIter it;
    if (!c || !GetIter(c->pStore, nIndex, it))
        return -1;
    CMuted muted(*c, this);
    gtk_list_store_remove(c->pStore, &it);
    c->lines.erase(c->lines.begin() + nIndex);
    c->nReportedSel = CurrentRow(*c);
    return static_cast<int>(c->lines.size());
}

void CGtkDialogPeer::LbResetContent(int nId) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    if (!c)
        return;
    CMuted muted(*c, this);
    gtk_list_store_clear(c->pStore);
    c->lines.clear();
    c->nReportedSel = -1;
}

int CGtkDialogPeer::LbGetCount(int nId) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    return c ? static_cast<int>(c->lines.size()) : 0;
}

int CGtkDialogPeer::LbGetCurSel(int nId) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    return c ? CurrentRow(*c) : -1;
}

void CGtkDialogPeer::LbSetCurSel(int nId, int nIndex) {
    if (CGtkCtrl* c = Find(nId, CCtrlKind::ListBox))
        SelectRow(*c, nIndex);
}

std::string CGtkDialogPeer::LbGetText(int nId, int nIndex) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListBox);
    if (!c || nIndex < 0 || nIndex >= static_cast<int>(c->lines.size()))
        return {};
    return c->lines[static_cast<std::size_t>(nIndex)];
}

// ---- List view

void CGtkDialogPeer::RebindColumns(CGtkCtrl& c) {
    for (int i = 0; i < static_cast<int>(c.columns.size()); ++i) {
        GtkTreeViewColumn* pCol = gtk_tree_view_get_column(GTK_TREE_VIEW(c.pInner), i);
        GList* pCells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(pCol));
        if (pCells) {
            auto* pCell = GTK_CELL_RENDERER(pCells->data);
            gtk_tree_view_column_clear_attributes(pCol, pCell);
            gtk_tree_view_column_add_attribute(pCol, pCell, "text", i);
        }
        g_list_free(pCells);
    }
}

int CGtkDialogPeer::LvInsertColumn(int nId, int nCol, const std::string& strHeading, int nWidth) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    if (!c || nCol < 0 || static_cast<int>(c->columns.size()) >= kMaxColumns)
        return -1;
    nCol = std::min(nCol, static_cast<int>(c->columns.size()));
    CMuted muted(*c, this);
    c->columns.insert(c->columns.begin() + nCol, {strHeading, nWidth});
    // Existing rows move their texts one column to the right of the new one.
    for (int nRow = 0; nRow < c->nRows; ++nRow) {
        GtkTreeIter it;
        if (!GetIter(c->pStore, nRow, it))
            break;
        for (int i = static_cast<int>(c->columns.size()) - 1; i > nCol; --i)
            gtk_list_store_set(c->pStore, &it, i, GetCell(c->pStore, nRow, i - 1).c_str(), -1);
        gtk_list_store_set(c->pStore, &it, nCol, "", -1);
    }
    GtkTreeViewColumn* pCol = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(pCol, strHeading.c_str());
    gtk_tree_view_column_set_sizing(pCol, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(pCol, std::max(1, nWidth));
    gtk_tree_view_column_set_resizable(pCol, TRUE);
    gtk_tree_view_column_pack_start(pCol, gtk_cell_renderer_text_new(), TRUE);
    gtk_tree_view_insert_column(GTK_TREE_VIEW(c->pInner), pCol, nCol);
    RebindColumns(*c);
    return nCol;
}

int CGtkDialogPeer::LvGetColumnWidth(int nId, int nCol) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    if (!c || nCol < 0 || nCol >= static_cast<int>(c->columns.size()))
        return 0;
    GtkTreeViewColumn* pCol = gtk_tree_view_get_column(GTK_TREE_VIEW(c->pInner), nCol);
    return pCol ? gtk_tree_view_column_get_fixed_width(pCol) : 0;
}

int CGtkDialogPeer::LvInsertItem(int nId, int nRow, const std::string& strText) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    if (!c || nRow < 0)
        return -1;
    nRow = std::min(nRow, c->nRows);
    CMuted muted(*c, this);
    gtk_list_store_insert_with_values(c->pStore, nullptr, nRow, 0, strText.c_str(), -1);
    ++c->nRows;
    return nRow;
}

bool CGtkDialogPeer::LvSetItemText(int nId, int nRow, int nCol, const std::string& strText) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    GtkTreeIter it;
    if (!c || nCol < 0 || nCol >= kMaxColumns || !GetIter(c->pStore, nRow, it))
        return false;
    CMuted muted(*c, this);
    gtk_list_store_set(c->pStore, &it, nCol, strText.c_str(), -1);
    return true;
}

std::string CGtkDialogPeer::LvGetItemText(int nId, int nRow, int nCol) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    if (!c || nCol < 0 || nCol >= kMaxColumns)
        return {};
    return GetCell(c->pStore, nRow, nCol);
}

int CGtkDialogPeer::LvGetItemCount(int nId) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    return c ? c->nRows : 0;
}

void CGtkDialogPeer::LvDeleteAllItems(int nId) {
    CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    if (!c)
        return;
    CMuted muted(*c, this);
    gtk_list_store_clear(c->pStore);
    c->nRows = 0;
}

int CGtkDialogPeer::LvGetSelection(int nId) const {
    const CGtkCtrl* c = Find(nId, CCtrlKind::ListView);
    return c ? CurrentRow(*c) : -1;
}

void CGtkDialogPeer::LvSetSelection(int nId, int nRow) {
    if (CGtkCtrl* c = Find(nId, CCtrlKind::ListView))
        SelectRow(*c, nRow);
}

// ---- Web browser

void CGtkDialogPeer::MakeWebViewIfShown(CGtkCtrl& c) {
    if (c.item.kind == CCtrlKind::WebBrowser && !c.pWeb && c.bVisible &&
        gtk_widget_get_visible(m_pWindow) && c.rc.Width() > 0 && c.rc.Height() > 0)
        MakeWebView(c);
}

void CGtkDialogPeer::MakeWebView(CGtkCtrl& c) {
    GtkWidget* pView = webkit_web_view_new();
    gtk_box_pack_start(GTK_BOX(c.pInner), pView, TRUE, TRUE, 0);
    gtk_widget_show(pView);
    c.pWeb = pView;
    ++m_ui.m_nWebViewsMade;
}

void CGtkDialogPeer::Navigate(int nId, const std::string& strUrl) {
    CGtkCtrl* c = Find(nId, CCtrlKind::WebBrowser);
    if (!c)
        return;
    if (!c->pWeb)
        MakeWebView(*c);
    // A page that cannot be loaded shows WebKit's own error page.
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(c->pWeb), strUrl.c_str());
}

void CGtkDialogPeer::SetIcon(int nIconId) {
    GList* pIcons = nullptr;
    for (int cx : {16, 32, 48, 256})
        if (GdkPixbuf* pIcon = LoadIcon(nIconId, cx))
            pIcons = g_list_append(pIcons, pIcon);
    if (pIcons)
        gtk_window_set_icon_list(GTK_WINDOW(m_pWindow), pIcons);
    g_list_free_full(pIcons, g_object_unref);
}
