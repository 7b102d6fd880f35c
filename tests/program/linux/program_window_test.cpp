// The program's main window as GTK shows it under Xvfb, started as the program starts it: the
// layouts with their controls and captions, a drag snapped by OnSizing, the page switch widening
// the window and starting WebKit only then, and the balloon at the cursor in its shape; Linux test.
#include "tests/program/linux/program_window_fixture.h"

#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

#include <algorithm>

namespace {

using mwtest::PumpFor;
using mwtest::PumpUntil;
using mwtest::ScreenRectOf;

class ProgramWindow : public mwtest::ProgramWindowTest {};

TEST_F(ProgramWindow, EachLayoutShowsItsControlsWithTheirCaptionsInsideTheWindow) {
    struct Case {
        const char* name;
        const char* pszCommandLine;
        const char* pszTitle;
        std::vector<std::pair<int, const char*>> shown; // control and caption (null: any)
        std::vector<int> hidden;
        bool bPage;
    };
    const std::vector<std::pair<int, const char*>> settings = {
        {IDC_STATIC_ACCOUNT, "Account:"},
        {IDC_USERNAME, nullptr},
        {IDC_STATIC_PASSWORD, "Password:"},
        {IDC_PASSWORD, nullptr},
        {IDC_STATIC_TARGET, "Target Device:"},
        {IDC_TARGET_DEVICE, nullptr},
        {IDC_STATIC_DESTINATION, "Destination:"},
        {IDC_DESTINATION, nullptr},
        {IDC_BROWSE, "..."},
        {IDC_SETTINGS_BOX, nullptr}};
    const std::vector<std::pair<int, const char*>> devices = {
        {IDC_STATIC_DEVICES, "Network Storage System"},
        {IDC_REFRESH, "Refresh"},
        {IDC_DEVICE_LIST, nullptr}};
    auto join = [](std::vector<std::pair<int, const char*>> a,
                   const std::vector<std::pair<int, const char*>>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::string strFile = m_scope.ConfigDir() + "/layout.torrent";
    const std::vector<Case> cases = {
        {"normal",
         "",
         "BT Download Setting",
         join(join(devices, settings), {{IDC_OPTIONS_BOX, nullptr},
                                        {IDC_FILE_ASSOCIATION, "File Association :Disable"},
                                        {IDC_CONFIRM_DIALOG, "Confirm Dialog"},
                                        {IDC_MONITOR_PAGE, "Monitor device page"},
                                        {IDCANCEL, "Close"},
                                        {IDOK, "Set"}}),
         {IDC_TRANSFER, IDC_WEB_BROWSER},
         false},
        {"file",
         strFile.c_str(),
         "BT Download Setting",
         join(join(devices, settings), {{IDCANCEL, "Close"}, {IDC_TRANSFER, "Transfer"}}),
         {IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG, IDC_MONITOR_PAGE, IDOK,
          IDC_WEB_BROWSER},
         false},
        {"monitor",
         "/M",
         "BT Download Status Monitor",
         join(devices, {{IDCANCEL, "Cancel"}, {IDOK, "OK"}}),
         {IDC_SETTINGS_BOX, IDC_STATIC_ACCOUNT, IDC_USERNAME, IDC_PASSWORD, IDC_TARGET_DEVICE,
          IDC_DESTINATION, IDC_BROWSE, IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG,
          IDC_TRANSFER},
         true},
    };
    // The file layout asks before it sends.
    CMarlowickSettings s;
    s.m_strIP = "127.0.0.3";
    s.m_strTargetDevice = "nas-basement";
    s.m_strUserName = "admin";
    s.m_strRootSharelist = "public";
    s.m_nConfirmDialog = 1;
    ASSERT_TRUE(Store().SaveSettings(s));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunProgram(c.pszCommandLine, [&] {
            CMarlowickDlg* pDlg = MainWindowReady();
            ASSERT_NE(pDlg, nullptr);
            GtkWidget* pWindow = m_ui->WindowWidget(*pDlg);
            EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(pWindow)), c.pszTitle);
            const CRect rcWindow = ScreenRectOf(pWindow);
            EXPECT_EQ(rcWindow, pDlg->GetWindowRect());
            for (const auto& [nId, pszCaption] : c.shown) {
                SCOPED_TRACE(nId);
                GtkWidget* pWidget = m_ui->ItemWidget(*pDlg, nId);
                EXPECT_TRUE(gtk_widget_get_mapped(pWidget));
                // On screen, inside the window, where the layer says it is.
                const CRect rc = ScreenRectOfItem(*pDlg, nId);
                EXPECT_GT(rc.Width(), 0);
                EXPECT_GT(rc.Height(), 0);
                EXPECT_TRUE(rc.left >= rcWindow.left && rc.top >= rcWindow.top &&
                            rc.right <= rcWindow.right && rc.bottom <= rcWindow.bottom)
                    << rc.left << "," << rc.top << " " << rc.Width() << "x" << rc.Height();
                EXPECT_EQ(rc, pDlg->GetItemRect(nId));
                if (pszCaption) {
                    EXPECT_EQ(pDlg->GetItemText(nId), pszCaption);
                }
            }
            for (int nId : c.hidden) {
                SCOPED_TRACE(nId);
                // Hidden, or (the page in the normal and file layouts) given no room.
                EXPECT_TRUE(!gtk_widget_get_mapped(m_ui->ItemWidget(*pDlg, nId)) ||
                            pDlg->GetItemRect(nId).Width() == 0);
            }
            // The monitor's page shows from the start (its lower part until the user first sizes
            // the shortened window, as on every desktop); the others start no WebKit.
            EXPECT_EQ(m_ui->WebView(*pDlg, IDC_WEB_BROWSER) != nullptr, c.bPage);
            if (c.bPage) {
                EXPECT_TRUE(gtk_widget_get_mapped(m_ui->ItemWidget(*pDlg, IDC_WEB_BROWSER)));
            }
            pDlg->EndDialog(IDCANCEL);
        });
    }
}

// Every settings control of the normal layout lies inside the window's client area, and the page
// (when it has room) right of them and inside too.
void ExpectLaidOut(mwtest::ProgramWindowTest& t, CMarlowickDlg& dlg, CGtkUi& ui) {
    const CRect rcWindow = ScreenRectOf(ui.WindowWidget(dlg));
    const CRect rcSettings = dlg.GetItemRect(IDC_SETTINGS_BOX);
    for (int nId : {IDC_DEVICE_LIST, IDC_REFRESH, IDC_SETTINGS_BOX, IDC_BROWSE, IDC_OPTIONS_BOX,
                    IDC_MONITOR_PAGE, IDOK, IDCANCEL}) {
        const CRect rc = dlg.GetItemRect(nId);
        EXPECT_TRUE(rc.left >= rcWindow.left && rc.right <= rcWindow.right &&
                    rc.bottom <= rcWindow.bottom)
            << nId << " ends at " << rc.right << "," << rc.bottom << " in a window to "
            << rcWindow.right << "," << rcWindow.bottom;
    }
    if (dlg.m_bShowDevicePage && dlg.GetItemRect(IDC_WEB_BROWSER).Width() > 1) {
        const CRect rcPage = t.ScreenRectOfItem(dlg, IDC_WEB_BROWSER);
        EXPECT_EQ(rcPage, dlg.GetItemRect(IDC_WEB_BROWSER));
        EXPECT_GE(rcPage.left, rcSettings.right);
        EXPECT_TRUE(rcPage.right < rcWindow.right && rcPage.bottom < rcWindow.bottom)
            << rcPage.right << "," << rcPage.bottom;
    }
}

TEST_F(ProgramWindow, ADragOfAnEdgeEndsAtTheSizeOnSizingGives) {
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        GtkWidget* pWindow = m_ui->WindowWidget(*pDlg);
        GdkWindow* pGdk = gtk_widget_get_window(pWindow);
        // What a window manager does while the user drags the corner: the window takes the size
        // OnSizing gives, whatever the drag proposes.
        auto drag = [&](int cx, int cy) {
            EXPECT_TRUE(PumpUntil([&] { return ScreenRectOf(pWindow) == pDlg->GetWindowRect(); }));
            const CRect rcStart = pDlg->GetWindowRect();
            const CRect rcTaken = pDlg->AcceptSizing(
                CSizingEdge::BottomRight, CRect::FromXywh(rcStart.left, rcStart.top, cx, cy));
            XResizeWindow(GDK_WINDOW_XDISPLAY(pGdk), GDK_WINDOW_XID(pGdk),
                          static_cast<unsigned>(cx), static_cast<unsigned>(cy));
            EXPECT_TRUE(PumpUntil([&] {
                return ScreenRectOf(pWindow) == rcTaken && pDlg->GetWindowRect() == rcTaken;
            })) << cx
                << " x " << cy << " became " << ScreenRectOf(pWindow).Width() << " x "
                << ScreenRectOf(pWindow).Height();
            ExpectLaidOut(*this, *pDlg, m_ui.Ui());
            return CSize{rcTaken.Width(), rcTaken.Height()};
        };
        // The settings alone: the size is fixed, wider or narrower.
        const CSize fixed = drag(640, 700);
        EXPECT_EQ(drag(200, 300), fixed);
        // With the page: as wide as the user likes, the height fixed; too narrow, the settings'.
        Click(*pDlg, IDC_MONITOR_PAGE);
        EXPECT_EQ(drag(900, 300), (CSize{900, fixed.cy}));
        EXPECT_EQ(drag(150, 900), fixed);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramWindow, ThePageSwitchWidensTheWindowAndOnlyThenStartsWebKit) {
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        GtkWidget* pWindow = m_ui->WindowWidget(*pDlg);
        // The normal layout: no web view, no WebKit process, even after a while.
        const auto before = mwtest::WebKitChildren();
        const int nMadeBefore = m_ui->WebViewsMade();
        PumpFor(500);
        EXPECT_EQ(m_ui->WebViewsMade(), nMadeBefore);
        const auto after = mwtest::WebKitChildren();
        EXPECT_TRUE(std::includes(before.begin(), before.end(), after.begin(), after.end()));
        EXPECT_EQ(m_ui->WebView(*pDlg, IDC_WEB_BROWSER), nullptr);
        const CRect rcNarrow = pDlg->GetWindowRect();
        EXPECT_EQ(rcNarrow.Width(), pDlg->GetItemRect(IDC_DEVICE_LIST).Width() + 40);
        ExpectLaidOut(*this, *pDlg, m_ui.Ui());

        Click(*pDlg, IDC_MONITOR_PAGE);
        // At x = 5, wider by 805 pixels, the page beside the settings up to x = 1045 of the
        // client area on this 1280 pixel wide screen.
        const CRect rcWide{5, rcNarrow.top, 5 + rcNarrow.Width() + 805, rcNarrow.bottom};
        EXPECT_TRUE(PumpUntil([&] { return ScreenRectOf(pWindow) == rcWide; }))
            << ScreenRectOf(pWindow).left << " " << ScreenRectOf(pWindow).Width();
        EXPECT_EQ(pDlg->GetWindowRect(), rcWide);
        EXPECT_EQ(ScreenRectOfItem(*pDlg, IDC_WEB_BROWSER).right,
                  pDlg->ClientToScreen({1045, 0}).x);
        ExpectLaidOut(*this, *pDlg, m_ui.Ui());
        WebKitWebView* pView = m_ui->WebView(*pDlg, IDC_WEB_BROWSER);
        ASSERT_NE(pView, nullptr);
        EXPECT_EQ(m_ui->WebViewsMade(), nMadeBefore + 1);
        // The page of the device the search chose (on loopback, where nobody answers).
        EXPECT_STREQ(webkit_web_view_get_uri(pView), "http://127.0.0.2/Down/download_ui.cgi");

        Click(*pDlg, IDC_MONITOR_PAGE);
        EXPECT_TRUE(PumpUntil([&] { return ScreenRectOf(pWindow) == pDlg->GetWindowRect(); }));
        EXPECT_EQ(pDlg->GetWindowRect().Width(), rcNarrow.Width());
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramWindow, TheBalloonShowsItsTailAtTheCursorInTheShapeOfItsRegion) {
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        // The search chose the first device: the Target Device box tells its name.
        ASSERT_EQ(pDlg->GetItemText(IDC_TARGET_DEVICE), "NAS-Office");
        const CRect rcBox = ScreenRectOfItem(*pDlg, IDC_TARGET_DEVICE);
        const CPoint pt{rcBox.left + rcBox.Width() / 2, rcBox.top + rcBox.Height() / 2};
        GdkDisplay* pDisplay = gdk_display_get_default();
        GdkDevice* pPointer = gdk_seat_get_pointer(gdk_display_get_default_seat(pDisplay));
        // The user moves onto the box and rests there.
        gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), pt.x - 20, pt.y);
        PumpFor(100);
        gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), pt.x, pt.y);
        CXInfoTip& tip = pDlg->m_infoTip;
        GtkWidget* pTip = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            pTip = m_ui->WindowWidget(tip);
            return pTip && gtk_widget_get_mapped(pTip) && ScreenRectOf(pTip) == tip.GetWindowRect();
        }));
        EXPECT_EQ(tip.m_strTip, "NAS-Office");
        CSize size;
        const CRegionShape shape = tip.GetWindowRegion(&size);
        const CRect rc = tip.GetWindowRect();
        EXPECT_EQ(rc.Width(), size.cx);
        EXPECT_EQ(rc.Height(), size.cy);
        // The tail's point is the cursor.
        const CPoint tail = shape.polygon[1];
        EXPECT_EQ((CPoint{rc.left + tail.x, rc.top + tail.y}), pt);

        // The X server holds the shape: the body and the tail, not the cut corners or beside
        // the tail.
        GdkWindow* pGdk = gtk_widget_get_window(pTip);
        int nRects = 0;
        int nOrder = 0;
        XRectangle* pRects = XShapeGetRectangles(GDK_WINDOW_XDISPLAY(pGdk), GDK_WINDOW_XID(pGdk),
                                                 ShapeBounding, &nRects, &nOrder);
        auto inShape = [&](int x, int y) {
            for (int i = 0; i < nRects; ++i)
                if (x >= pRects[i].x && x < pRects[i].x + pRects[i].width && y >= pRects[i].y &&
                    y < pRects[i].y + pRects[i].height)
                    return true;
            return false;
        };
        const int w = shape.rcRound.Width();
        const int h = shape.rcRound.Height();
        struct Case {
            int x, y;
            bool bInside;
        };
        for (const Case c :
             {Case{w / 2, h / 2, true}, Case{0, 0, false}, Case{w - 1, 0, false},
              Case{tail.x - 1, tail.y - 3, true}, Case{5, h + 5, false}, Case{w - 2, h + 5, false}})
            EXPECT_EQ(inShape(c.x, c.y), c.bInside) << c.x << "," << c.y;
        XFree(pRects);

        // Gone once the cursor leaves.
        gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), pt.x + 200, pt.y + 200);
        EXPECT_TRUE(PumpUntil([&] { return !gtk_widget_get_mapped(pTip); }));
        pDlg->EndDialog(IDCANCEL);
    });
}

} // namespace
