// What the GTK backend's tests share: the backend installed for a test, waiting on the main loop
// with a bound, modal runs with a watchdog, and input given as GTK gives it; Linux test support.
#pragma once

#include "platform/gtk/gtk_ui.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace mwtest {

// The GTK backend, installed for the test's scope.
class CGtkScope {
public:
    CGtkScope() : m_pUi(CreateGtkUi()) {
        if (m_pUi)
            m_pPrevious = SetUiBackend(m_pUi.get());
    }
    ~CGtkScope() {
        if (m_pUi)
            SetUiBackend(m_pPrevious);
    }
    CGtkScope(const CGtkScope&) = delete;
    CGtkScope& operator=(const CGtkScope&) = delete;
    explicit operator bool() const { return m_pUi != nullptr; }
    CGtkUi& Ui() { return *m_pUi; }
    CGtkUi* operator->() { return m_pUi.get(); }

private:
    std::unique_ptr<CGtkUi> m_pUi;
    CUiBackend* m_pPrevious = nullptr;
};

// Runs the main loop (nested, from wherever the test is) until fnDone answers true or nMs pass;
// what fnDone answers last.
inline bool PumpUntil(const std::function<bool()>& fnDone, int nMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    // A tick keeps the loop from sleeping past the deadline when nothing else happens.
    const guint nTick = g_timeout_add(
        10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    bool bDone = fnDone();
    while (!bDone && std::chrono::steady_clock::now() < deadline) {
        g_main_context_iteration(nullptr, TRUE);
        bDone = fnDone();
    }
    g_source_remove(nTick);
    return bDone;
}

// Lets the main loop run for a while (for things that must not happen).
inline void PumpFor(int nMs) {
    PumpUntil([] { return false; }, nMs);
}

// Runs fn once, soon, from the main loop (inside whatever modal loop runs then).
inline void RunSoon(std::function<void()> fn, guint nDelayMs = 0) {
    auto* p = new std::function<void()>(std::move(fn));
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, nDelayMs,
        [](gpointer pData) -> gboolean {
            (*static_cast<std::function<void()>*>(pData))();
            return G_SOURCE_REMOVE;
        },
        p, [](gpointer pData) { delete static_cast<std::function<void()>*>(pData); });
}

constexpr int kTimedOut = -99;

// DoModal, ended with kTimedOut (and a failure) when it runs longer than nMs.
inline int DoModalWithin(CDialog& dlg, int nMs = 20000) {
    bool bRunning = true;
    guint nWatch = 0;
    auto* pEnd = new std::function<void()>([&dlg, &bRunning, &nWatch] {
        nWatch = 0;
        if (bRunning) {
            ADD_FAILURE() << "a modal run did not end in time";
            dlg.EndDialog(kTimedOut);
        }
    });
    nWatch = g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(nMs),
        [](gpointer pData) -> gboolean {
            (*static_cast<std::function<void()>*>(pData))();
            return G_SOURCE_REMOVE;
        },
        pEnd, [](gpointer pData) { delete static_cast<std::function<void()>*>(pData); });
    const int nResult = dlg.DoModal();
    bRunning = false;
    if (nWatch)
        g_source_remove(nWatch);
    return nResult;
}

// A key press as the window system delivers it: through GDK's event queue, so that it meets
// the backend's input routing before GTK.
inline void PressKey(GtkWidget* pWindow, guint nKeyval) {
    GdkWindow* pGdk = gtk_widget_get_window(pWindow);
    GdkDisplay* pDisplay = gdk_window_get_display(pGdk);
    GdkEvent* pEvent = gdk_event_new(GDK_KEY_PRESS);
    pEvent->key.window = GDK_WINDOW(g_object_ref(pGdk));
    pEvent->key.send_event = TRUE;
    pEvent->key.time = GDK_CURRENT_TIME;
    pEvent->key.keyval = nKeyval;
    GdkKeymapKey* pKeys = nullptr;
    gint nKeys = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(pDisplay), nKeyval, &pKeys,
                                          &nKeys) &&
        nKeys > 0)
        pEvent->key.hardware_keycode = static_cast<guint16>(pKeys[0].keycode);
    g_free(pKeys);
    gdk_event_set_device(pEvent, gdk_seat_get_keyboard(gdk_display_get_default_seat(pDisplay)));
    gdk_event_put(pEvent);
    gdk_event_free(pEvent);
}

// The toplevel GtkWindow of a kind (a message box, the file chooser) that is shown, or null.
inline GtkWidget* FindShownWindow(GType type) {
    GtkWidget* pFound = nullptr;
    GList* pAll = gtk_window_list_toplevels();
    for (GList* p = pAll; p; p = p->next)
        if (G_TYPE_CHECK_INSTANCE_TYPE(p->data, type) &&
            gtk_widget_get_visible(GTK_WIDGET(p->data)))
            pFound = GTK_WIDGET(p->data);
    g_list_free(pAll);
    return pFound;
}

// A widget's rectangle on the screen, as the window system places it.
inline CRect ScreenRectOf(GtkWidget* pWidget) {
    GtkAllocation a;
    gtk_widget_get_allocation(pWidget, &a);
    GtkWidget* pTop = gtk_widget_get_toplevel(pWidget);
    int x = 0;
    int y = 0;
    gdk_window_get_origin(gtk_widget_get_window(pTop), &x, &y);
    int wx = 0;
    int wy = 0;
    gtk_widget_translate_coordinates(pWidget, pTop, 0, 0, &wx, &wy);
    return CRect::FromXywh(x + wx, y + wy, a.width, a.height);
}

} // namespace mwtest
