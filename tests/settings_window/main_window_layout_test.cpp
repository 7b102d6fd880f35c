// The main window's layouts, sizing, status page, painting and closing, on the headless backend
// with its fixed metrics; portable.
#include "main_window_fixture.h"

namespace {

using mwtest::MainWindowTest;

constexpr int kFrame = CHeadlessUi::kFrame;
constexpr int kCaption = CHeadlessUi::kCaption;

// Client pixels of a control.
CRect ClientRect(const CDialog& dlg, int nId) {
    const CRect rc = dlg.GetItemRect(nId);
    const CPoint o = dlg.ClientToScreen({0, 0});
    return {rc.left - o.x, rc.top - o.y, rc.right - o.x, rc.bottom - o.y};
}

TEST_F(MainWindowTest, FourLayoutsShowTheirControlsPlaceTheirButtonsAndSearchOnceOpen) {
    struct Case {
        const char* name;
        bool bFile, bMonitor, bQueue;
        const char* caption;
        std::vector<int> visible;
        std::vector<int> hidden;
        const char* closeText;
        const char* okText; // nullptr: button 1 hidden
        CRect rcClose, rcSecond;
        int nSecond; // Transfer, or OK in the monitor layout
        CRect rcWindow;
    };
    // Headless metrics: 6 x 13 base units, 3 pixels of frame, a caption of 20: the template is
    // 1055 x 541 client pixels, the window 1061 x 567, the top offset 23. The options box begins
    // at client y 364 (119 high), the settings box at 226 (132 high); the list box is 230 wide.
    const std::vector<Case> cases = {
        {"normal",
         false,
         false,
         false,
         "BT Download Setting",
         {IDC_DEVICE_LIST, IDC_USERNAME, IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG,
          IDC_MONITOR_PAGE, IDOK, IDCANCEL},
         {IDC_TRANSFER},
         "Close",
         "Set",
         CRect::FromXywh(26, 496, 75, 23),
         CRect::FromXywh(125, 496, 75, 23),
         IDOK,
         CRect{0, 0, 270, 567}},
        {"file",
         true,
         false,
         false,
         "BT Download Setting",
         {IDC_DEVICE_LIST, IDC_USERNAME, IDC_PASSWORD, IDC_TARGET_DEVICE, IDC_DESTINATION,
          IDC_BROWSE, IDC_TRANSFER, IDCANCEL},
         {IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG, IDC_MONITOR_PAGE, IDOK},
         "Close",
         nullptr,
         CRect::FromXywh(26, 364, 75, 23),
         CRect::FromXywh(122, 364, 75, 23),
         IDC_TRANSFER,
         CRect{0, 0, 270, 448}},
        {"monitor",
         false,
         true,
         false,
         "BT Download Status Monitor",
         {IDC_DEVICE_LIST, IDC_REFRESH, IDC_WEB_BROWSER, IDC_MONITOR_PAGE, IDOK, IDCANCEL},
         {IDC_OPTIONS_BOX, IDC_SETTINGS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG,
          IDC_STATIC_TARGET, IDC_STATIC_DESTINATION, IDC_STATIC_ACCOUNT, IDC_STATIC_PASSWORD,
          IDC_USERNAME, IDC_PASSWORD, IDC_DESTINATION, IDC_TARGET_DEVICE, IDC_BROWSE, IDC_TRANSFER},
         "Cancel",
         "OK",
         CRect::FromXywh(26, 226, 75, 23),
         CRect::FromXywh(122, 226, 75, 23),
         IDOK,
         CRect{0, 0, 1061, 316}},
        {"queue",
         false,
         false,
         true,
         "BT Download Setting",
         {IDC_DEVICE_LIST, IDC_USERNAME, IDC_TRANSFER, IDCANCEL, IDC_MONITOR_PAGE, IDC_WEB_BROWSER},
         {IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG, IDOK},
         "Close",
         nullptr,
         CRect::FromXywh(26, 364, 75, 23),
         CRect::FromXywh(122, 364, 75, 23),
         IDC_TRANSFER,
         CRect{0, 0, 1061, 448}},
    };
    for (const auto& c : cases) {
        auto pJobs = std::make_shared<mwtest::CFakeJobs>();
        m_pJobs = pJobs;
        CMarlowickDlg dlg(Services());
        dlg.SetFileMode(c.bFile);
        dlg.SetMonitorMode(c.bMonitor);
        dlg.SetQueueMode(c.bQueue);
        m_ui.Then(dlg, [&] {
            EXPECT_EQ(dlg.GetCaption(), c.caption) << c.name;
            for (int nId : c.visible)
                EXPECT_TRUE(dlg.IsItemVisible(nId)) << c.name << " " << nId;
            for (int nId : c.hidden)
                EXPECT_FALSE(dlg.IsItemVisible(nId)) << c.name << " " << nId;
            EXPECT_EQ(dlg.GetItemText(IDCANCEL), c.closeText) << c.name;
            if (c.okText) {
                EXPECT_EQ(dlg.GetItemText(IDOK), c.okText) << c.name;
            }
            EXPECT_EQ(ClientRect(dlg, IDCANCEL), c.rcClose) << c.name;
            EXPECT_EQ(ClientRect(dlg, c.nSecond), c.rcSecond) << c.name;
            EXPECT_EQ(dlg.GetWindowRect(), c.rcWindow) << c.name;
            EXPECT_TRUE(dlg.IsItemReadOnly(IDC_TARGET_DEVICE));
            EXPECT_TRUE(dlg.IsItemReadOnly(IDC_DESTINATION));
            EXPECT_EQ(m_ui.IconOf(dlg), IDR_MAINFRAME);
            // The Refresh posted at the end of initialisation ran its search already.
            EXPECT_EQ(pJobs->Searches(), 1) << c.name;
            EXPECT_EQ(pJobs->Starts(), 1) << c.name;
            Close(dlg);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL) << c.name;
        EXPECT_EQ(pJobs->Stops(), 1) << c.name;
    }
}

TEST_F(MainWindowTest, DraggingABorderKeepsTheLayoutsSizes) {
    struct Case {
        const char* name;
        bool bFile, bMonitor, bPage;
        CRect rcProposed, rcAccepted;
    };
    const std::vector<Case> cases = {
        {"page hidden", false, false, false, {0, 0, 500, 400}, {0, 0, 270, 572}},
        {"page hidden, file layout", true, false, false, {10, 10, 500, 400}, {10, 10, 280, 580}},
        {"page shown, 265 wide", false, false, true, {0, 0, 265, 300}, {0, 0, 265, 572}},
        {"page shown, 250 wide", false, false, true, {0, 0, 250, 300}, {0, 0, 270, 572}},
        {"page shown, wide", false, false, true, {0, 0, 900, 700}, {0, 0, 900, 572}},
        // The monitor layout shows its page: the first drag keeps it, refitted.
        {"monitor layout", false, true, false, {0, 0, 1000, 316}, {0, 0, 1000, 572}},
    };
    for (const auto& c : cases) {
        CMarlowickDlg dlg(Services());
        dlg.SetFileMode(c.bFile);
        dlg.SetMonitorMode(c.bMonitor);
        m_ui.Then(dlg, [&] {
            if (c.bPage) {
                ASSERT_TRUE(m_ui.Click(IDC_MONITOR_PAGE));
            }
            ASSERT_TRUE(m_ui.DragBorder(CSizingEdge::BottomRight, c.rcProposed));
            EXPECT_EQ(dlg.GetWindowRect(), c.rcAccepted) << c.name;
            if (c.bPage || c.bMonitor) {
                EXPECT_EQ(ClientRect(dlg, IDC_WEB_BROWSER),
                          CRect::FromXywh(270, 12, c.rcAccepted.Width() - 30 - 270, 518))
                    << c.name;
            }
            Close(dlg);
        });
        dlg.DoModal();
    }
}

TEST_F(MainWindowTest, ThePageSwitchWidensTheWindowAndShowsTheDevicesPage) {
    m_pJobs->m_arrFound = {mwtest::Device("NAS-A", 10, 0, 0, 2, 1)};
    for (const auto& [nScreen, nPageWidth] : {std::pair{1280, 775}, std::pair{800, 510}}) {
        m_ui.SetScreenSize({nScreen, 1024});
        CMarlowickDlg dlg(Services());
        m_ui.Then(dlg, [&, nPageWidth = nPageWidth] {
            for (int i = 0; i < 2; ++i) {
                ASSERT_TRUE(m_ui.Click(IDC_MONITOR_PAGE));
                EXPECT_TRUE(dlg.m_bShowDevicePage);
                EXPECT_EQ(ClientRect(dlg, IDC_WEB_BROWSER),
                          CRect::FromXywh(270, 12, nPageWidth, 518));
                // 805 pixels wider than the narrow window, at x 5, each time.
                EXPECT_EQ(dlg.GetWindowRect(), (CRect{5, 0, 5 + 270 + 805, 567}));
                EXPECT_EQ(m_ui.NavigatedUrl(dlg, IDC_WEB_BROWSER),
                          "http://10.0.0.2/Down/download_ui.cgi");
                ASSERT_TRUE(m_ui.Click(IDC_MONITOR_PAGE));
                EXPECT_FALSE(dlg.m_bShowDevicePage);
                EXPECT_EQ(ClientRect(dlg, IDC_WEB_BROWSER), CRect{});
                EXPECT_EQ(dlg.GetWindowRect(), (CRect{5, 0, 5 + 270, 567}));
            }
            Close(dlg);
        });
        dlg.DoModal();
    }
}

TEST_F(MainWindowTest, APageWithoutADeviceIsEmptyAndTheMonitorPageFollowsRefresh) {
    // No device answers: switching the page on shows an empty page, never http:///...
    CMarlowickDlg none(Services());
    m_ui.Then(none, [&] {
        ASSERT_TRUE(m_ui.Click(IDC_MONITOR_PAGE));
        EXPECT_EQ(m_ui.NavigatedUrl(none, IDC_WEB_BROWSER), "about:blank");
        Close(none);
    });
    none.DoModal();

    // The monitor layout: Refresh points the page at the device it chose, and opens no share.
    m_pJobs->m_arrFound = {mwtest::Device("NAS-A", 10, 0, 0, 2, 1)};
    CMarlowickDlg monitor(Services());
    monitor.SetMonitorMode(true);
    m_ui.Then(monitor, [&] {
        EXPECT_EQ(m_ui.NavigatedUrl(monitor, IDC_WEB_BROWSER),
                  "http://10.0.0.2/Down/download_ui.cgi");
        EXPECT_EQ(monitor.IsDlgButtonChecked(IDC_MONITOR_PAGE), 0);
        EXPECT_TRUE(m_pShell->m_arrOpened.empty());
        Close(monitor);
    });
    monitor.DoModal();
}

TEST_F(MainWindowTest, ConfirmDialogIsStoredAtOnceAndMinimizedTheWindowPaintsItsIcon) {
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] {
        // No key yet: the switch reads as on.
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CONFIRM_DIALOG), 1);
        ASSERT_TRUE(m_ui.Click(IDC_CONFIRM_DIALOG));
        EXPECT_FALSE(Store().IsConfirmDialogOn());
        ASSERT_TRUE(m_ui.Click(IDC_CONFIRM_DIALOG));
        EXPECT_TRUE(Store().IsConfirmDialogOn());

        EXPECT_TRUE(m_ui.PaintDialog(dlg).empty()); // a shown window paints as dialogs do
        m_ui.SetMinimized(dlg, true);
        const auto ops = m_ui.PaintDialog(dlg);
        ASSERT_EQ(ops.size(), 1u);
        EXPECT_EQ(ops[0].nIconId, IDR_MAINFRAME);
        const CRect rc = dlg.GetClientRect();
        EXPECT_EQ(ops[0].pt, (CPoint{(rc.Width() - 32 + 1) / 2, (rc.Height() - 32 + 1) / 2}));
        m_ui.SetMinimized(dlg, false);
        Close(dlg);
    });
    dlg.DoModal();
}

TEST_F(MainWindowTest, WmCloseMainClosesTheWindowAsCloseDoes) {
    CMarlowickDlg dlg(Services());
    m_ui.Then(dlg, [&] { EXPECT_EQ(dlg.WindowProc(WM_CLOSE_MAIN, 0, 0), 0); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(m_pJobs->Stops(), 1);
}

} // namespace
