// What the tests of the program's own windows share: the program's start-up run in-process over the
// GTK backend under Xvfb, with doubles of the seams that would reach past loopback (the device
// search, the shell's network mounts), its windows found among the real ones, and the user's
// input given through GTK; Linux test support.
#pragma once

#include "tests/platform/gtk/gtk_test_support.h"

#include "app/marlowick_app.h"
#include "app/search_dlg.h"
#include "platform/gtk/gtk_peers.h"
#include "tests/settings_window/main_window_fixture.h"

#include <webkit2/webkit2.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace mwtest {

// The shown windows of ours whose portable half is a T.
template <class T> std::vector<T*> FindShownDialogs() {
    std::vector<T*> found;
    GList* pAll = gtk_window_list_toplevels();
    for (GList* p = pAll; p; p = p->next) {
        GtkWidget* pWindow = GTK_WIDGET(p->data);
        if (!gtk_widget_get_mapped(pWindow))
            continue;
        if (CGtkWindowState* pState = CGtkWindowState::FromWidget(pWindow))
            if (auto* pDialog = dynamic_cast<T*>(&pState->m_owner))
                found.push_back(pDialog);
    }
    g_list_free(pAll);
    return found;
}
template <class T> T* FindShownDialog() {
    const std::vector<T*> found = FindShownDialogs<T>();
    return found.empty() ? nullptr : found.back();
}

// This process's children that are WebKit's (its network and web processes), by process id. The
// network process outlives the web views of a test; a new web view starts a web process.
inline std::set<long> WebKitChildren() {
    std::set<long> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string strLine;
        if (!std::getline(stat, strLine))
            continue;
        const auto nOpen = strLine.find('(');
        const auto nClose = strLine.rfind(')');
        if (nOpen == std::string::npos || nClose == std::string::npos)
            continue;
        std::istringstream rest(strLine.substr(nClose + 2));
        char state = 0;
        long nParent = 0;
        rest >> state >> nParent;
        if (nParent == getpid() && strLine.substr(nOpen + 1, 6) == "WebKit")
            pids.insert(std::stol(entry.path().filename().string()));
    }
    return pids;
}

// The lines of a list box as GTK shows them.
inline std::vector<std::string> ListLines(GtkWidget* pView) {
    std::vector<std::string> lines;
    GtkTreeModel* pModel = gtk_tree_view_get_model(GTK_TREE_VIEW(pView));
    GtkTreeIter it;
    for (gboolean b = gtk_tree_model_get_iter_first(pModel, &it); b;
         b = gtk_tree_model_iter_next(pModel, &it)) {
        gchar* p = nullptr;
        gtk_tree_model_get(pModel, &it, 0, &p, -1);
        lines.emplace_back(p ? p : "");
        g_free(p);
    }
    return lines;
}

// The page's text as its script sees it; empty when the evaluation failed.
inline std::string PageText(WebKitWebView* pView) {
    struct CResult {
        bool bDone = false;
        std::string strText;
    } result;
    webkit_web_view_evaluate_javascript(
        pView, "document.body ? document.body.innerText : ''", -1, nullptr, nullptr, nullptr,
        [](GObject* pSource, GAsyncResult* pAsync, gpointer pData) {
            auto* pResult = static_cast<CResult*>(pData);
            if (JSCValue* pValue = webkit_web_view_evaluate_javascript_finish(
                    WEBKIT_WEB_VIEW(pSource), pAsync, nullptr)) {
                gchar* p = jsc_value_to_string(pValue);
                pResult->strText = p ? p : "";
                g_free(p);
                g_object_unref(pValue);
            }
            pResult->bDone = true;
        },
        &result);
    PumpUntil([&] { return result.bDone; }, 10000);
    return result.strText;
}

// The program's start-up over the GTK backend with its seams' doubles: devices found by the
// search are on loopback addresses, the shell only records, and the settings are the test's own.
class ProgramWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        if (!m_ui)
            GTEST_SKIP() << "no display";
        m_pJobs->m_arrFound = {Device("NAS-Office", 127, 0, 0, 2, 1),
                               Device("nas-basement", 127, 0, 0, 3, 2)};
        m_pShell->m_strModulePath = "/opt/marlowick/bin/marlowick";
    }

    CAppServices Services() {
        CAppServices s;
        s.pJobs = m_pJobsInUse ? m_pJobsInUse : m_pJobs;
        s.pRegistry = m_pRegistry;
        s.strSettingsKey = m_scope.Key();
        s.pShell = m_pShell;
        s.pAssociation = m_pAssociation;
        s.pDeviceList = &m_list;
        return s;
    }
    CSettingsStore Store() { return CSettingsStore(*m_pRegistry, m_scope.Key()); }

    // Runs fnUser once fnReady answers true, which is asked every 50 ms from the main loop without
    // running it, so that fnUser runs in no modal loop that the program started meanwhile (the
    // busy dialog's, the folder browser's mount) and may wait for what such a loop does.
    static void WhenReady(std::function<bool()> fnReady, std::function<void()> fnUser) {
        struct CUser {
            std::function<bool()> fnReady;
            std::function<void()> fnUser;
        };
        g_timeout_add_full(
            G_PRIORITY_DEFAULT, 50,
            [](gpointer pData) -> gboolean {
                auto* pUser = static_cast<CUser*>(pData);
                if (!pUser->fnReady())
                    return G_SOURCE_CONTINUE;
                pUser->fnUser();
                return G_SOURCE_REMOVE;
            },
            new CUser{std::move(fnReady), std::move(fnUser)},
            [](gpointer pData) { delete static_cast<CUser*>(pData); });
    }

    // Runs start-up with the command line; fnUser runs when fnReady says (WhenReady) and must end
    // the program's windows. Everything is ended after nMs.
    void RunProgram(const std::string& strCommandLine, std::function<bool()> fnReady,
                    std::function<void()> fnUser, int nMs = 60000) {
        WhenReady(std::move(fnReady), std::move(fnUser));
        const guint nWatch = g_timeout_add(
            static_cast<guint>(nMs),
            [](gpointer) -> gboolean {
                ADD_FAILURE() << "the program's windows did not end in time";
                for (CDialog* pDialog : FindShownDialogs<CDialog>())
                    pDialog->EndDialog(kTimedOut);
                return G_SOURCE_REMOVE;
            },
            nullptr);
        CLimitSingleInstance guard("{Marlowick-program-window-test}");
        CMarlowickApp app(Services(), guard);
        EXPECT_FALSE(app.InitInstance(strCommandLine));
        g_source_remove(nWatch);
    }
    // The same, fnUser running once the main window is ready (MainWindowReady).
    void RunProgram(const std::string& strCommandLine, std::function<void()> fnUser, int nLines = 2,
                    int nMs = 60000) {
        RunProgram(
            strCommandLine, [this, nLines] { return MainWindowReady(nLines) != nullptr; },
            std::move(fnUser), nMs);
    }

    // The main window once it is mapped where the layer placed it, its search done and nLines
    // devices listed; null before.
    CMarlowickDlg* MainWindowReady(int nLines = 2) {
        CMarlowickDlg* pDlg = FindShownDialog<CMarlowickDlg>();
        const bool bReady = pDlg && !FindShownDialog<CSearchDlg>() &&
                            pDlg->LbGetCount(IDC_DEVICE_LIST) == nLines &&
                            ScreenRectOf(m_ui->WindowWidget(*pDlg)) == pDlg->GetWindowRect();
        return bReady ? pDlg : nullptr;
    }

    // A click as the user gives it: GTK's own signal of the button or check box.
    void Click(CDialog& dlg, int nId) {
        GtkWidget* pButton = m_ui->ItemWidget(dlg, nId);
        ASSERT_TRUE(pButton && GTK_IS_BUTTON(pButton)) << nId;
        gtk_button_clicked(GTK_BUTTON(pButton));
    }
    CRect ScreenRectOfItem(CDialog& dlg, int nId) {
        GtkWidget* pWidget = m_ui->ItemWidget(dlg, nId);
        if (GtkWidget* pParent = gtk_widget_get_parent(pWidget); GTK_IS_SCROLLED_WINDOW(pParent))
            pWidget = pParent;
        return ScreenRectOf(pWidget);
    }

    CGtkScope m_ui;
    CTestRegistryScope m_scope;
    std::shared_ptr<CRegistry> m_pRegistry{OpenUserRegistry()};
    CDeviceList m_list;
    std::shared_ptr<CFakeJobs> m_pJobs = std::make_shared<CFakeJobs>();
    std::shared_ptr<CJobServices> m_pJobsInUse; // another than m_pJobs, when set
    std::shared_ptr<CFakeShell> m_pShell = std::make_shared<CFakeShell>();
    std::shared_ptr<CFakeAssociation> m_pAssociation = std::make_shared<CFakeAssociation>();
};

} // namespace mwtest
