// PNG pictures of every window and layout of the program as GTK shows it under Xvfb, started as the
// program starts it: the main window's normal, file, monitor and queue layouts, the page with a
// device's jobs, the busy dialog, the transfer queue with rows, the balloon over the Destination
// box, message boxes and the folder browser. Each picture is one test, which checks only that it
// was made; scripts/screenshots-gtk keeps them in a folder (MW_SCREENS_OUT). Linux test tool.
#include "tests/program/linux/program_window_fixture.h"

#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"
#include "transfer_queue/transfer_dlg.h"

#include <atomic>
#include <thread>

namespace {

using mwtest::FindShownDialog;
using mwtest::PumpFor;
using mwtest::PumpUntil;
using mwtest::ScreenRectOf;

// Devices that answer the search, jobs that take a while where a picture wants them running.
class CShotJobs final : public CJobServicesStub {
public:
    std::vector<NAS_DEVICE_INFO> m_arrFound;
    std::atomic<int> m_nSearchMs{0};
    std::atomic<int> m_nUploads{0};
    std::atomic<int> m_nSlowUpload{-1}; // the upload (from 0) that takes long

    bool Search(CDeviceList& list) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_nSearchMs.load()));
        for (const auto& device : m_arrFound)
            if (!list.Find(device.mac))
                list.AddTail(device);
        return true;
    }
    bool CheckAccount(CDeviceList&, int, const std::string&, const std::string&) override {
        return true;
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM&, std::string&, VARNEL_DWORD& nCode) override {
        if (m_nUploads++ == m_nSlowUpload)
            std::this_thread::sleep_for(std::chrono::seconds(8));
        nCode = 0;
        return 1;
    }
};

class ProgramScreens : public mwtest::ProgramWindowTest {
protected:
    void SetUp() override {
        ProgramWindowTest::SetUp();
        const char* pszOut = std::getenv("MW_SCREENS_OUT");
        m_strOut = pszOut ? pszOut : m_scope.ConfigDir();
        m_pShots->m_arrFound = {mwtest::Device("NAS-Office", 127, 0, 0, 2, 1),
                                mwtest::Device("nas-basement", 127, 0, 0, 3, 2)};
        m_pJobsInUse = m_pShots;
    }

    // The screen's pixels of rc into OUTPUT/strName.png, once painting has settled.
    void Shoot(const std::string& strName, const CRect& rc, int nSettleMs = 500) {
        PumpFor(nSettleMs);
        const std::string strGeometry = std::to_string(rc.Width()) + "x" +
                                        std::to_string(rc.Height()) + "+" +
                                        std::to_string(rc.left) + "+" + std::to_string(rc.top);
        const std::string strFile = m_strOut + "/gtk-" + strName + ".png";
        const char* argv[] = {"import",  "-window",       "root", "-crop", strGeometry.c_str(),
                              "+repage", strFile.c_str(), nullptr};
        gint nStatus = -1;
        GError* pError = nullptr;
        const bool bRan =
            g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                         nullptr, nullptr, nullptr, &nStatus, &pError);
        EXPECT_TRUE(bRan && nStatus == 0) << (pError ? pError->message : "import failed");
        g_clear_error(&pError);
        EXPECT_GT(std::filesystem::exists(strFile) ? std::filesystem::file_size(strFile) : 0u, 100u)
            << strFile;
        std::printf("%s\n", strFile.c_str());
    }
    void ShootWindow(const std::string& strName, CUiWindow& wnd, int nSettleMs = 500) {
        Shoot(strName, ScreenRectOf(m_ui->WindowWidget(wnd)), nSettleMs);
    }
    // A GTK window of a kind (a message box, the chooser), once shown and placed.
    GtkWidget* WaitForShown(GType type) {
        GtkWidget* pWindow = nullptr;
        EXPECT_TRUE(PumpUntil([&] {
            pWindow = mwtest::FindShownWindow(type);
            return pWindow && gtk_widget_get_mapped(pWindow);
        }));
        return pWindow;
    }
    void StoreSettings(int nConfirm) {
        CMarlowickSettings s;
        s.m_strIP = "127.0.0.3";
        s.m_strTargetDevice = "nas-basement";
        s.m_strUserName = "admin";
        s.m_strPassword = "secret";
        s.m_strRootSharelist = "public\\torrents";
        s.m_nConfirmDialog = nConfirm;
        ASSERT_TRUE(Store().SaveSettings(s));
    }
    // A reference device on loopback with one job on it, for the pictures of the page.
    std::string DevicePageWithAJob() {
        EXPECT_TRUE(m_device.Start()) << m_device.Error();
        const std::string strFile = m_device.Root() + "/debian-12.7.0-amd64-netinst.iso.torrent";
        mwtest::WriteTorrent(strFile, mwtest::MakeTorrent("debian-12.7.0-amd64-netinst.iso"));
        const std::string strUrl = m_device.JobUrl();
        const NAS_BTDOWNLOAD_PARAM param{strUrl.c_str(),
                                         strFile.c_str(),
                                         mwtest::CDeviceProcess::kUser,
                                         mwtest::CDeviceProcess::kPassword,
                                         "public",
                                         "",
                                         "down_job.htm",
                                         "save",
                                         "public",
                                         "1",
                                         "local"};
        std::string strMessage;
        VARNEL_DWORD nCode = 0;
        EXPECT_EQ(CreateRealJobServices()->Upload(param, strMessage, nCode), 1) << strMessage;
        return m_device.StatusUrl();
    }
    // Waits until the page has loaded (WebKit's first frame follows shortly).
    void WaitForPage(CMarlowickDlg& dlg) {
        WebKitWebView* pView = m_ui->WebView(dlg, IDC_WEB_BROWSER);
        ASSERT_NE(pView, nullptr);
        EXPECT_TRUE(PumpUntil(
            [&] {
                return !webkit_web_view_is_loading(pView) &&
                       mwtest::PageText(pView).find("job") != std::string::npos;
            },
            30000));
    }

    std::shared_ptr<CShotJobs> m_pShots = std::make_shared<CShotJobs>();
    mwtest::CDeviceProcess m_device;
    std::string m_strOut;
};

TEST_F(ProgramScreens, MainWindowNormalLayout) {
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        ShootWindow("main-normal", *pDlg);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramScreens, MainWindowFileLayout) {
    StoreSettings(1);
    RunProgram(m_scope.ConfigDir() + "/ubuntu-24.04.torrent", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        ShootWindow("main-file", *pDlg);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramScreens, MainWindowQueueLayout) {
    StoreSettings(1);
    RunProgram("/Q " + m_scope.ConfigDir() + "/ubuntu-24.04.torrent", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        ShootWindow("main-queue", *pDlg);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramScreens, MainWindowMonitorLayoutWithTheDevicesJobs) {
    const std::string strPage = DevicePageWithAJob();
    RunProgram("/M", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        // The chosen device's page, from the device on loopback (its port is not the device's).
        pDlg->Navigate(IDC_WEB_BROWSER, strPage);
        WaitForPage(*pDlg);
        ShootWindow("main-monitor", *pDlg, 1500);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramScreens, MainWindowWithThePageShowingTheDevicesJobs) {
    const std::string strPage = DevicePageWithAJob();
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        Click(*pDlg, IDC_MONITOR_PAGE);
        pDlg->Navigate(IDC_WEB_BROWSER, strPage);
        WaitForPage(*pDlg);
        ShootWindow("main-page", *pDlg, 1500);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramScreens, BusyDialogWhileTheSearchRuns) {
    m_pShots->m_nSearchMs = 3000;
    RunProgram(
        "", [] { return FindShownDialog<CSearchDlg>() != nullptr; },
        [&] {
            ShootWindow("busy", *FindShownDialog<CSearchDlg>(), 300);
            WhenReady([&] { return MainWindowReady() != nullptr; },
                      [&] { MainWindowReady()->EndDialog(IDCANCEL); });
        });
}

TEST_F(ProgramScreens, TransferQueueWithRows) {
    StoreSettings(0);
    // The second file takes long: one row done, one sending, one waiting.
    m_pShots->m_nSlowUpload = 1;
    const std::string strDir = m_scope.ConfigDir();
    RunProgram(
        "/Q " + strDir + "/ubuntu-24.04-desktop-amd64.iso.torrent",
        [] { return FindShownDialog<CTransferDlg>() != nullptr; },
        [&] {
            CTransferDlg* pQueue = FindShownDialog<CTransferDlg>();
            for (const char* pszName :
                 {"debian-12.7.0-amd64-netinst.iso.torrent", "Fedora-Workstation-40.torrent"}) {
                // As Arbolet hands a file over.
                ASSERT_TRUE(Store().WriteHandOff(strDir + "/" + pszName));
                const int nRows = pQueue->LvGetItemCount(IDC_TRANSFER_LIST);
                pQueue->Post(WM_UPDATE_LIST);
                ASSERT_TRUE(
                    PumpUntil([&] { return pQueue->LvGetItemCount(IDC_TRANSFER_LIST) > nRows; }));
            }
            ASSERT_TRUE(PumpUntil(
                [&] {
                    return pQueue->LvGetItemText(IDC_TRANSFER_LIST, 1, 1) ==
                           LoadResString(IDS_STATUS_TRANSFERRING);
                },
                15000));
            ShootWindow("transfer", *pQueue);
            pQueue->EndDialog(IDCANCEL);
        },
        60000);
}

TEST_F(ProgramScreens, BalloonOverTheDestinationBox) {
    // A saved entry for the device the search chooses: its destination gets the balloon.
    CMarlowickSettings s;
    s.m_strTargetDevice = "NAS-Office";
    s.m_strUserName = "admin";
    s.m_strPassword = "secret";
    s.m_strRootSharelist = "public\\torrents\\linux-isos";
    ASSERT_TRUE(Store().SaveSettings(s));
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        ASSERT_NE(pDlg, nullptr);
        const CRect rcBox = ScreenRectOfItem(*pDlg, IDC_DESTINATION);
        const CPoint pt{rcBox.left + rcBox.Width() / 2, rcBox.top + rcBox.Height() / 2};
        GdkDisplay* pDisplay = gdk_display_get_default();
        GdkDevice* pPointer = gdk_seat_get_pointer(gdk_display_get_default_seat(pDisplay));
        gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), pt.x - 10, pt.y);
        PumpFor(100);
        gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), pt.x, pt.y);
        ASSERT_TRUE(PumpUntil([&] { return pDlg->m_infoTip.IsWindowVisible(); }));
        // The window and the balloon above it.
        const CRect rcWindow = pDlg->GetWindowRect();
        const CRect rcTip = pDlg->m_infoTip.GetWindowRect();
        Shoot("balloon",
              {std::min(rcWindow.left, rcTip.left), std::min(rcWindow.top, rcTip.top),
               std::max(rcWindow.right, rcTip.right), std::max(rcWindow.bottom, rcTip.bottom)});
        gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), 1200, 1000);
        pDlg->EndDialog(IDCANCEL);
    });
}

TEST_F(ProgramScreens, MessageBoxes) {
    auto fnBoxShown = [] {
        GtkWidget* pBox = mwtest::FindShownWindow(GTK_TYPE_MESSAGE_DIALOG);
        return pBox && gtk_widget_get_mapped(pBox);
    };
    auto fnShootBox = [&](const std::string& strName) {
        GtkWidget* pBox = mwtest::FindShownWindow(GTK_TYPE_MESSAGE_DIALOG);
        Shoot(strName, ScreenRectOf(pBox));
        gtk_dialog_response(GTK_DIALOG(pBox), IDOK);
    };
    // Set without a destination.
    RunProgram("", [&] {
        CMarlowickDlg* pDlg = MainWindowReady();
        WhenReady(fnBoxShown, [&] { fnShootBox("message-set"); });
        pDlg->SetItemText(IDC_DESTINATION, "");
        Click(*pDlg, IDOK);
        pDlg->EndDialog(IDCANCEL);
    });
    // A file sent without asking.
    StoreSettings(0);
    RunProgram(m_scope.ConfigDir() + "/ubuntu-24.04.torrent", fnBoxShown,
               [&] { fnShootBox("message-finish"); });
}

TEST_F(ProgramScreens, FolderBrowser) {
    // No device found: the chooser opens at the desktop's usual places (with a device it opens on
    // the device's shares, as tests/program/linux/program_folder_test shows against smbd).
    m_pShots->m_arrFound = {};
    RunProgram(
        "",
        [&] {
            CMarlowickDlg* pDlg = MainWindowReady(0);
            WhenReady(
                [] {
                    GtkWidget* p = mwtest::FindShownWindow(GTK_TYPE_FILE_CHOOSER_DIALOG);
                    return p && gtk_widget_get_mapped(p);
                },
                [&] {
                    GtkWidget* pChooser = mwtest::FindShownWindow(GTK_TYPE_FILE_CHOOSER_DIALOG);
                    Shoot("folder-browser", ScreenRectOf(pChooser), 1000);
                    gtk_dialog_response(GTK_DIALOG(pChooser), GTK_RESPONSE_CANCEL);
                });
            Click(*pDlg, IDC_BROWSE);
            pDlg->EndDialog(IDCANCEL);
        },
        0);
}

} // namespace
