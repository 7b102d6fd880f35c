// A watcher preloaded (LD_PRELOAD) into the real program for its end-to-end tests, so that they see
// what a user sees: each window shown, with its caption and text, and the rows of its lists, as
// lines in the file MW_WATCH_LOG. With MW_WATCH_ANSWER set it answers each message box with its
// default button after a moment; with MW_WATCH_DONE_ROWS=N it presses OK in the "Transfer" window
// once it lists N rows and none is still to be sent. Linux test support.
#include <gtk/gtk.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::FILE* g_pLog = nullptr;
std::string g_strLastRows;
std::map<GtkWidget*, std::chrono::steady_clock::time_point> g_boxesSeen;

void Log(const std::string& strLine) {
    std::fputs((strLine + "\n").c_str(), g_pLog);
    std::fflush(g_pLog);
}

std::string Title(GtkWidget* pWindow) {
    const char* p = gtk_window_get_title(GTK_WINDOW(pWindow));
    return p ? p : "";
}

// Every widget below pWidget, depth first.
void Walk(GtkWidget* pWidget, std::vector<GtkWidget*>& out) {
    out.push_back(pWidget);
    if (!GTK_IS_CONTAINER(pWidget))
        return;
    GList* pChildren = gtk_container_get_children(GTK_CONTAINER(pWidget));
    for (GList* p = pChildren; p; p = p->next)
        Walk(GTK_WIDGET(p->data), out);
    g_list_free(pChildren);
}

std::string MessageText(GtkWidget* pBox) {
    gchar* pText = nullptr;
    g_object_get(pBox, "text", &pText, nullptr);
    std::string str = pText ? pText : "";
    g_free(pText);
    return str;
}

// The rows of the window's lists: the texts of each row's string columns, tab-separated.
std::vector<std::string> Rows(GtkWidget* pWindow) {
    std::vector<GtkWidget*> all;
    Walk(pWindow, all);
    std::vector<std::string> rows;
    for (GtkWidget* p : all) {
        if (!GTK_IS_TREE_VIEW(p) || !gtk_widget_get_mapped(p))
            continue;
        GtkTreeModel* pModel = gtk_tree_view_get_model(GTK_TREE_VIEW(p));
        const int nColumns = gtk_tree_view_get_n_columns(GTK_TREE_VIEW(p));
        GtkTreeIter it;
        for (gboolean b = gtk_tree_model_get_iter_first(pModel, &it); b;
             b = gtk_tree_model_iter_next(pModel, &it)) {
            std::string strRow;
            for (int i = 0; i < nColumns && i < gtk_tree_model_get_n_columns(pModel); ++i) {
                gchar* pCell = nullptr;
                gtk_tree_model_get(pModel, &it, i, &pCell, -1);
                strRow += (i ? "\t" : "") + std::string(pCell ? pCell : "");
                g_free(pCell);
            }
            rows.push_back(strRow);
        }
    }
    return rows;
}

// "shown" lines: a message box with its text, another window with the texts it shows (its
// labels that are not a button's).
gboolean OnMap(GSignalInvocationHint*, guint, const GValue* pParams, gpointer) {
    GObject* pObject = static_cast<GObject*>(g_value_get_object(&pParams[0]));
    if (!GTK_IS_WINDOW(pObject))
        return TRUE;
    GtkWidget* pWindow = GTK_WIDGET(pObject);
    if (GTK_IS_MESSAGE_DIALOG(pWindow)) {
        Log("shown\tbox\t" + Title(pWindow) + "\t" + MessageText(pWindow));
        return TRUE;
    }
    std::string strLabels;
    std::vector<GtkWidget*> all;
    Walk(pWindow, all);
    for (GtkWidget* p : all)
        if (GTK_IS_LABEL(p) && gtk_widget_is_visible(p) &&
            !gtk_widget_get_ancestor(p, GTK_TYPE_BUTTON))
            strLabels +=
                (strLabels.empty() ? "" : " | ") + std::string(gtk_label_get_text(GTK_LABEL(p)));
    Log(std::string("shown\t") + (GTK_IS_FILE_CHOOSER(pWindow) ? "chooser" : "window") + "\t" +
        Title(pWindow) + "\t" + strLabels);
    return TRUE;
}

gboolean OnTick(gpointer) {
    const char* pszDoneRows = std::getenv("MW_WATCH_DONE_ROWS");
    const bool bAnswer = std::getenv("MW_WATCH_ANSWER") != nullptr;
    GList* pAll = gtk_window_list_toplevels();
    for (GList* p = pAll; p; p = p->next) {
        GtkWidget* pWindow = GTK_WIDGET(p->data);
        if (!gtk_widget_get_mapped(pWindow)) {
            g_boxesSeen.erase(pWindow);
            continue;
        }
        if (GTK_IS_MESSAGE_DIALOG(pWindow) && bAnswer) {
            // Enter, once the box has been on screen for a moment.
            const auto now = std::chrono::steady_clock::now();
            const auto seen = g_boxesSeen.try_emplace(pWindow, now).first->second;
            if (now - seen >= std::chrono::milliseconds(300)) {
                g_boxesSeen.erase(pWindow);
                Log("answered\t" + MessageText(pWindow));
                gtk_window_activate_default(GTK_WINDOW(pWindow));
            }
            continue;
        }
        if (Title(pWindow) != "Transfer")
            continue;
        const std::vector<std::string> rows = Rows(pWindow);
        std::string strRows;
        bool bOpen = false;
        for (const auto& strRow : rows) {
            strRows += "row\t" + strRow + "\n";
            const std::string strStatus = strRow.substr(strRow.find('\t') + 1);
            bOpen = bOpen || (strStatus.rfind("Done", 0) != 0 && strStatus.rfind("Fail", 0) != 0);
        }
        if (strRows != g_strLastRows) {
            g_strLastRows = strRows;
            Log("rows\n" + strRows + "end");
        }
        if (pszDoneRows && static_cast<int>(rows.size()) == std::atoi(pszDoneRows) && !bOpen) {
            std::vector<GtkWidget*> all;
            Walk(pWindow, all);
            for (GtkWidget* pButton : all)
                if (GTK_IS_BUTTON(pButton) && gtk_widget_get_mapped(pButton) &&
                    g_strcmp0(gtk_button_get_label(GTK_BUTTON(pButton)), "OK") == 0) {
                    Log("pressed\tOK");
                    gtk_button_clicked(GTK_BUTTON(pButton));
                    break;
                }
        }
    }
    g_list_free(pAll);
    return G_SOURCE_CONTINUE;
}

void StartWatching() {
    const char* pszLog = std::getenv("MW_WATCH_LOG");
    if (!pszLog || g_pLog)
        return;
    g_pLog = std::fopen(pszLog, "a");
    if (!g_pLog)
        return;
    g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, OnMap, nullptr, nullptr);
    g_timeout_add(50, OnTick, nullptr);
}

} // namespace

// The program's backend opens the display through this call: the watch starts right after it,
// before the first window is made.
extern "C" __attribute__((visibility("default"))) gboolean gtk_init_check(int* argc, char*** argv) {
    using CInit = gboolean (*)(int*, char***);
    static const auto real = reinterpret_cast<CInit>(dlsym(RTLD_NEXT, "gtk_init_check"));
    const gboolean bOk = real(argc, argv);
    if (bOk)
        StartWatching();
    return bOk;
}
