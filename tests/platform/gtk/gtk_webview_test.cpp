// The browser control of the GTK backend: WebKit is started only when a page is needed, the
// reference device's status page lists the job just sent, and a page that cannot load shows
// WebKit's error page; content read through JavaScript, not pixels; Linux test.
#include "tests/platform/gtk/gtk_test_support.h"

#include "app/search_dlg.h"
#include "resources/resources.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"

#include <webkit2/webkit2.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>

namespace {

using mwtest::DoModalWithin;
using mwtest::PumpFor;
using mwtest::PumpUntil;
using mwtest::RunSoon;

class CPageDlg : public CDialog {
public:
    CPageDlg() : CDialog(GetDialogTemplate(IDD_MARLOWICK_DIALOG)) {}
    std::function<void()> m_fnOnInit;

protected:
    bool OnInitDialog() override {
        if (m_fnOnInit)
            m_fnOnInit();
        return true;
    }
};

// How many of our child processes are WebKit's (its network and web processes).
int WebKitChildren() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string strLine;
        if (!std::getline(stat, strLine))
            continue;
        // pid (comm) state ppid ...
        const auto nOpen = strLine.find('(');
        const auto nClose = strLine.rfind(')');
        if (nOpen == std::string::npos || nClose == std::string::npos)
            continue;
        const std::string strComm = strLine.substr(nOpen + 1, nClose - nOpen - 1);
        std::istringstream rest(strLine.substr(nClose + 2));
        char state = 0;
        long nParent = 0;
        rest >> state >> nParent;
        if (nParent == getpid() && strComm.starts_with("WebKit"))
            ++n;
    }
    return n;
}

// The page's text as its script sees it; empty when the evaluation failed.
std::string PageText(WebKitWebView* pView) {
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

// Waits until the view has finished a load (an error page's included).
bool WaitLoaded(WebKitWebView* pView, int nMs = 30000) {
    bool bFinished = false;
    const gulong nHandler =
        g_signal_connect(pView, "load-changed",
                         G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer pData) {
                             if (event == WEBKIT_LOAD_FINISHED)
                                 *static_cast<bool*>(pData) = true;
                         }),
                         &bFinished);
    const bool bOk = PumpUntil([&] { return bFinished; }, nMs);
    g_signal_handler_disconnect(pView, nHandler);
    return bOk;
}

class GtkWeb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_ui)
            GTEST_SKIP() << "no display";
    }
    mwtest::CGtkScope m_ui;
};

TEST_F(GtkWeb, WebKitStartsOnlyWhenAPageIsShownOrNavigated) {
    struct Case {
        const char* name;
        std::function<void(CPageDlg&)> fnNeedPage;
    };
    const std::vector<Case> cases = {
        {"shown", [](CPageDlg& d) { d.ShowItem(IDC_WEB_BROWSER, true); }},
        {"navigated", [](CPageDlg& d) { d.Navigate(IDC_WEB_BROWSER, "about:blank"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int nMadeBefore = m_ui->WebViewsMade();
        CPageDlg dlg;
        // The normal layout hides the page before the window shows.
        dlg.m_fnOnInit = [&] {
            dlg.ShowItem(IDC_WEB_BROWSER, false);
            RunSoon([&] {
                ASSERT_TRUE(PumpUntil([&] { return dlg.IsWindowVisible(); }));
                PumpFor(300);
                EXPECT_EQ(m_ui->WebViewsMade(), nMadeBefore);
                EXPECT_EQ(m_ui->WebView(dlg, IDC_WEB_BROWSER), nullptr);
                if (nMadeBefore == 0) {
                    EXPECT_EQ(WebKitChildren(), 0);
                }
                c.fnNeedPage(dlg);
                EXPECT_EQ(m_ui->WebViewsMade(), nMadeBefore + 1);
                EXPECT_NE(m_ui->WebView(dlg, IDC_WEB_BROWSER), nullptr);
                dlg.EndDialog(IDOK);
            });
        };
        EXPECT_EQ(DoModalWithin(dlg), IDOK);
    }
}

TEST_F(GtkWeb, TheDevicesStatusPageListsTheJobJustSent) {
    mwtest::CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    setenv("XDG_STATE_HOME", (device.Root() + "/state-home").c_str(), 1);
    const std::string strTorrent = device.Root() + "/gtk-status-page.torrent";
    mwtest::WriteTorrent(strTorrent, mwtest::MakeTorrent("gtk-status-page.iso"));

    // The job goes out as the program sends it: the busy dialog over the real services.
    const std::string strJobUrl = device.JobUrl();
    const NAS_BTDOWNLOAD_PARAM param{strJobUrl.c_str(),
                                     strTorrent.c_str(),
                                     mwtest::CDeviceProcess::kUser,
                                     mwtest::CDeviceProcess::kPassword,
                                     "public",
                                     "",
                                     "down_job.htm",
                                     "save",
                                     "public",
                                     "1",
                                     "local"};
    {
        CSearchDlg busy(std::make_shared<const CUploadJob>(param), CreateRealJobServices());
        ASSERT_EQ(DoModalWithin(busy, 60000), IDOK) << busy.m_strMessage << device.Log();
    }

    CPageDlg dlg;
    std::string strText;
    dlg.m_fnOnInit = [&] {
        dlg.Navigate(IDC_WEB_BROWSER, device.StatusUrl());
        RunSoon([&] {
            WebKitWebView* pView = m_ui->WebView(dlg, IDC_WEB_BROWSER);
            ASSERT_NE(pView, nullptr);
            EXPECT_TRUE(WaitLoaded(pView));
            strText = PageText(pView);
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg, 60000), IDOK);
    EXPECT_NE(strText.find("gtk-status-page.torrent"), std::string::npos) << strText;
    EXPECT_NE(strText.find("1 job(s)"), std::string::npos) << strText;
}

TEST_F(GtkWeb, APageThatCannotLoadShowsWebKitsErrorPage) {
    // A loopback port that nobody listens on.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t nLen = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    close(fd);
    const std::string strUrl =
        "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/Down/download_ui.cgi";

    CPageDlg dlg;
    bool bFailed = false;
    std::string strText;
    dlg.m_fnOnInit = [&] {
        dlg.Navigate(IDC_WEB_BROWSER, strUrl);
        RunSoon([&] {
            WebKitWebView* pView = m_ui->WebView(dlg, IDC_WEB_BROWSER);
            ASSERT_NE(pView, nullptr);
            g_signal_connect(pView, "load-failed",
                             G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*,
                                            gpointer pData) -> gboolean {
                                 *static_cast<bool*>(pData) = true;
                                 return FALSE; // WebKit shows its error page
                             }),
                             &bFailed);
            EXPECT_TRUE(PumpUntil([&] { return bFailed; }, 30000));
            // The error page itself loads after the failure.
            EXPECT_TRUE(PumpUntil([&] { return !PageText(pView).empty(); }, 10000));
            strText = PageText(pView);
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg, 60000), IDOK);
    EXPECT_TRUE(bFailed);
    EXPECT_FALSE(strText.empty());
}

} // namespace
