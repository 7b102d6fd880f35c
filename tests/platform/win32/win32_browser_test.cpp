// Tests of the Win32 backend's web browser control under Wine, against the reference device on
// loopback: the control's own navigation, then the page's text standing in; Windows tests.
#include "win32_probe.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace mwtest;

namespace {

std::string Env(const char* pszName) {
    const char* psz = std::getenv(pszName);
    return psz ? psz : "";
}

// How often the device served its status page so far.
int StatusPageGets() {
    std::ifstream in(Env("MW_DEVICE_LOG"));
    std::ostringstream text;
    text << in.rdbuf();
    const std::string strLog = text.str();
    int n = 0;
    for (std::size_t pos = 0;
         (pos = strLog.find("GET /Down/download_ui.cgi 200", pos)) != std::string::npos; ++pos)
        ++n;
    return n;
}

std::string WideText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return std::string(text.begin(), text.end()); // the page's text is ASCII here
}

// Shows the device's status page in the main window's browser control and waits until the text
// that stands in for it lists the jobs; returns that text (empty when it never came).
std::string ShowStatusPage(CProbeDlg& dlg) {
    std::string strText;
    dlg.m_fnOnTimer = [&](std::uintptr_t) {
        HWND hwndText = Win32BrowserFallbackOf(dlg, IDC_WEB_BROWSER);
        if (hwndText && WideText(hwndText).find("holiday.mkv.torrent") != std::string::npos) {
            strText = WideText(hwndText);
            EXPECT_TRUE(IsWindowVisible(hwndText));
            EXPECT_TRUE(GetWindowLongW(hwndText, GWL_STYLE) & ES_READONLY);
            dlg.EndDialog(IDOK);
        }
    };
    dlg.Then([&] {
        dlg.Navigate(IDC_WEB_BROWSER, Env("MW_DEVICE_URL") + "/Down/download_ui.cgi");
        dlg.SetTimer(5, 50);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    return strText;
}

class Win32Browser : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("MW_DEVICE_URL").empty())
            GTEST_SKIP() << "run through with-device, which starts the reference device";
    }
    CWin32UiScope m_scope;
};

TEST_F(Win32Browser, TheControlReachesTheDeviceThenItsPageShowsAsTextWithTheJobs) {
    const int nBefore = StatusPageGets();
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    const std::string strText = ShowStatusPage(dlg);
    // Wine's control fetches the page and cannot render it (no HTML engine): it reports the
    // failure, and the page comes again as text. Each job is one line, its cells apart.
    EXPECT_NE(strText.find("Download jobs on mw-test"), std::string::npos) << strText;
    EXPECT_NE(strText.find("debian-12.iso.torrent\tpublic\t/\t1234"), std::string::npos) << strText;
    EXPECT_NE(strText.find("holiday.mkv.torrent\tpublic\t/video\t5678"), std::string::npos)
        << strText;
    EXPECT_NE(strText.find("2 job(s)"), std::string::npos) << strText;
    EXPECT_EQ(StatusPageGets() - nBefore, 2) << "the control's request and the text's";
}

TEST_F(Win32Browser, WithoutTheControlThePageShowsAsTextAtOnce) {
    // A class id that names no control.
    static CDlgTemplate tmpl = GetDialogTemplate(IDD_MARLOWICK_DIALOG);
    for (CDlgItem& item : tmpl.items)
        if (item.kind == CCtrlKind::WebBrowser)
            item.strClassId = "{00000000-1111-2222-3333-444444444444}";
    const int nBefore = StatusPageGets();
    CProbeDlg dlg(tmpl);
    const std::string strText = ShowStatusPage(dlg);
    EXPECT_NE(strText.find("debian-12.iso.torrent"), std::string::npos) << strText;
    EXPECT_EQ(StatusPageGets() - nBefore, 1) << "the text's request alone";
}

} // namespace
