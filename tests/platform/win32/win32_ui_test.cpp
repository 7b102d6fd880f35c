// Tests of the Win32 backend under Wine: real dialogs from the templates, the modal loop, posts,
// timers, keys, notifications, sizing, the busy dialog and the balloon popup, driven from inside
// the process with Win32 calls; Windows tests.
#include "win32_probe.h"

#include "app/search_dlg.h"
#include "discovery/device_list.h"
#include "platform/shell.h"
#include "tests/app/job_services_stub.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <atomic>
#include <future>
#include <thread>

using namespace mwtest;

namespace {

CRect LayerRect(const RECT& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

CRect Offset(const CRect& rc, CPoint o) {
    return {rc.left + o.x, rc.top + o.y, rc.right + o.x, rc.bottom + o.y};
}

std::string ClassOf(HWND hwnd) {
    char sz[64] = {};
    GetClassNameA(hwnd, sz, sizeof sz);
    return sz;
}

TEST(Win32Dialogs, CommonControls6AreLoadedThroughTheManifest) {
    CWin32UiScope scope;
    HMODULE hComctl = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(hComctl, nullptr);
    auto pfnGetVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(hComctl, "DllGetVersion")));
    ASSERT_NE(pfnGetVersion, nullptr);
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    ASSERT_EQ(pfnGetVersion(&info), S_OK);
    // Version 6 says so on Windows; Wine reports 5.81 for both and loads 6 from its side-by-side
    // store.
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(hComctl, szPath, MAX_PATH);
    const std::string strPath = szPath;
    EXPECT_TRUE(info.dwMajorVersion >= 6 ||
                strPath.find("common-controls_6595b64144ccf1df_6.") != std::string::npos)
        << strPath << " " << info.dwMajorVersion;
}

// The dialog manager converts the template's units from its font; the headless backend computes
// the same pixels from the base units that GetBaseUnits reports.
TEST(Win32Dialogs, ControlRectanglesAreWhatTheHeadlessBackendComputesFromTheSameBaseUnits) {
    CWin32UiScope scope;
    for (int nTemplate : {IDD_MARLOWICK_DIALOG, IDD_BUSY_DIALOG, IDD_TRANSFER_DIALOG}) {
        CProbeDlg dlg(nTemplate);
        dlg.Then([&] {
            const CDlgTemplate& tmpl = dlg.Template();
            const CDialogBaseUnits base = dlg.GetBaseUnits();
            // The dialog manager's own units for this dialog.
            RECT rcUnits{0, 0, 4, 8};
            MapDialogRect(dlg.Hwnd(), &rcUnits);
            EXPECT_EQ(base.cx, rcUnits.right) << nTemplate;
            EXPECT_EQ(base.cy, rcUnits.bottom) << nTemplate;
            EXPECT_EQ(dlg.GetClientRect(),
                      (CRect{0, 0, base.ToPixelsX(tmpl.cx), base.ToPixelsY(tmpl.cy)}))
                << nTemplate;
            const CPoint origin = dlg.ClientToScreen({0, 0});
            int nChecked = 0;
            for (const CDlgItem& item : tmpl.items) {
                if (item.nId == -1)
                    continue;
                HWND hwnd = dlg.Item(item.nId);
                ASSERT_NE(hwnd, nullptr) << nTemplate << "/" << item.nId;
                RECT rc;
                GetWindowRect(hwnd, &rc);
                const CRect rcExpected = Offset(base.ItemRect(item), origin);
                EXPECT_EQ(LayerRect(rc), rcExpected) << nTemplate << "/" << item.nId;
                EXPECT_EQ(dlg.GetItemRect(item.nId), rcExpected) << nTemplate << "/" << item.nId;
                ++nChecked;
            }
            EXPECT_GT(nChecked, 0);
            dlg.EndDialog(IDOK);
        });
        EXPECT_EQ(dlg.DoModal(), IDOK) << nTemplate;
    }
}

TEST(Win32Dialogs, EveryControlKindAndStyleBecomesItsWin32Counterpart) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.Then([&] {
        struct Case {
            int nId;
            const char* pszClass;
            DWORD dwStyleSet; // all of these bits
        };
        for (const Case c : {
                 Case{IDC_STATIC_DEVICES, "Static", WS_VISIBLE},
                 Case{IDC_REFRESH, "Button", BS_PUSHBUTTON | WS_TABSTOP},
                 Case{IDOK, "Button", BS_DEFPUSHBUTTON},
                 Case{IDC_CONFIRM_DIALOG, "Button", BS_AUTOCHECKBOX},
                 Case{IDC_SETTINGS_BOX, "Button", BS_GROUPBOX},
                 Case{IDC_PASSWORD, "Edit", ES_PASSWORD | ES_AUTOHSCROLL},
                 // (The list box shows its scroll bar, and its style bit, only when it is needed.)
                 Case{IDC_DEVICE_LIST, "ListBox", LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT},
                 Case{IDC_WEB_BROWSER, "MarlowickBrowserHost", WS_TABSTOP},
             }) {
            HWND hwnd = dlg.Item(c.nId);
            ASSERT_NE(hwnd, nullptr) << c.nId;
            EXPECT_EQ(ClassOf(hwnd), c.pszClass) << c.nId;
            const auto dwStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
            EXPECT_EQ(dwStyle & c.dwStyleSet, c.dwStyleSet) << c.nId;
        }
        // A bordered edit box gets the sunken edge of the dialog manager.
        EXPECT_TRUE(GetWindowLongW(dlg.Item(IDC_USERNAME), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        // Read-only, disabled and hidden states round-trip through the peer.
        dlg.SetItemReadOnly(IDC_TARGET_DEVICE, true);
        EXPECT_TRUE(dlg.IsItemReadOnly(IDC_TARGET_DEVICE));
        EXPECT_TRUE(GetWindowLongW(dlg.Item(IDC_TARGET_DEVICE), GWL_STYLE) & ES_READONLY);
        dlg.EnableItem(IDC_REFRESH, false);
        EXPECT_FALSE(IsWindowEnabled(dlg.Item(IDC_REFRESH)));
        dlg.ShowItem(IDC_TRANSFER, false);
        EXPECT_FALSE(dlg.IsItemVisible(IDC_TRANSFER));
        // The caption, and the main window in the taskbar.
        EXPECT_EQ(dlg.GetCaption(), "BT Download Setting");
        EXPECT_TRUE(GetWindowLongW(dlg.Hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
        EXPECT_TRUE(GetWindowLongW(dlg.Hwnd(), GWL_STYLE) & WS_THICKFRAME);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);

    // The transfer queue's list view: report view with its columns and rows through the peer.
    CProbeDlg queue(IDD_TRANSFER_DIALOG);
    queue.Then([&] {
        HWND hwnd = queue.Item(IDC_TRANSFER_LIST);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(ClassOf(hwnd), "SysListView32");
        EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
        EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & LVS_SINGLESEL);
        EXPECT_EQ(queue.LvInsertColumn(IDC_TRANSFER_LIST, 0, "File Name", 150), 0);
        EXPECT_EQ(queue.LvInsertColumn(IDC_TRANSFER_LIST, 1, "Status", 60), 1);
        EXPECT_EQ(queue.LvGetColumnWidth(IDC_TRANSFER_LIST, 0), 150);
        EXPECT_EQ(queue.LvInsertItem(IDC_TRANSFER_LIST, 0, "a.torrent"), 0);
        EXPECT_EQ(queue.LvInsertItem(IDC_TRANSFER_LIST, 1, "b.torrent"), 1);
        EXPECT_TRUE(queue.LvSetItemText(IDC_TRANSFER_LIST, 1, 1, "Waiting"));
        EXPECT_FALSE(queue.LvSetItemText(IDC_TRANSFER_LIST, 5, 1, "none"));
        const std::string strLong(1000, 'x');
        EXPECT_TRUE(queue.LvSetItemText(IDC_TRANSFER_LIST, 0, 1, strLong));
        EXPECT_EQ(queue.LvGetItemText(IDC_TRANSFER_LIST, 0, 1), strLong);
        EXPECT_EQ(queue.LvGetItemText(IDC_TRANSFER_LIST, 1, 0), "b.torrent");
        EXPECT_EQ(queue.LvGetItemText(IDC_TRANSFER_LIST, 1, 1), "Waiting");
        EXPECT_EQ(queue.LvGetItemCount(IDC_TRANSFER_LIST), 2);
        EXPECT_EQ(queue.LvGetSelection(IDC_TRANSFER_LIST), -1);
        queue.LvSetSelection(IDC_TRANSFER_LIST, 1);
        EXPECT_EQ(queue.LvGetSelection(IDC_TRANSFER_LIST), 1);
        queue.LvSetSelection(IDC_TRANSFER_LIST, -1);
        EXPECT_EQ(queue.LvGetSelection(IDC_TRANSFER_LIST), -1);
        queue.LvDeleteAllItems(IDC_TRANSFER_LIST);
        EXPECT_EQ(queue.LvGetItemCount(IDC_TRANSFER_LIST), 0);
        // A control of another kind answers nothing.
        EXPECT_EQ(queue.LvGetItemCount(IDOK), 0);
        EXPECT_EQ(queue.LbGetCount(IDC_TRANSFER_LIST), 0);
        queue.EndDialog(IDOK);
    });
    EXPECT_EQ(queue.DoModal(), IDOK);
}

TEST(Win32Posting, PostsAndWorkFromWorkersArriveInOrderAndGoneWindowsDropThem) {
    CWin32UiScope scope;
    CWindowPost kept;
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    {
        CProbeDlg dlg(IDD_TRANSFER_DIALOG);
        std::vector<std::thread> workers;
        std::vector<std::string> arrWork;
        const DWORD nUiThread = GetCurrentThreadId();
        bool bAllOnUiThread = true;
        int nDelivered = 0;
        auto count = [&] {
            bAllOnUiThread = bAllOnUiThread && GetCurrentThreadId() == nUiThread;
            if (++nDelivered == 2 * kThreads * kEach)
                dlg.EndDialog(IDOK);
        };
        dlg.m_fnOnPost = [&](WPARAM, LPARAM) { count(); };
        dlg.m_fnOnInit = [&] {
            kept = dlg.GetPost();
            for (int t = 0; t < kThreads; ++t)
                workers.emplace_back([post = dlg.GetPost(), t, &arrWork, &count] {
                    for (int i = 0; i < kEach; ++i) {
                        post.Post(WM_PROBE, static_cast<WPARAM>(t * 100000 + i));
                        post.PostWork([t, i, &arrWork, &count](CUiWindow&) {
                            arrWork.push_back(std::to_string(t) + ":" + std::to_string(i));
                            count();
                        });
                    }
                });
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        for (auto& w : workers)
            w.join();
        EXPECT_TRUE(bAllOnUiThread);
        // Each worker's messages and work in the order it posted them.
        std::vector<int> next(kThreads, 0);
        for (int v : dlg.m_arrPosts) {
            const auto t = static_cast<std::size_t>(v / 100000);
            ASSERT_EQ(v % 100000, next[t]) << "thread " << t;
            ++next[t];
        }
        std::vector<int> nextWork(kThreads, 0);
        for (const std::string& s : arrWork) {
            const auto t = static_cast<std::size_t>(std::stoi(s));
            ASSERT_EQ(s, std::to_string(t) + ":" + std::to_string(nextWork[t]));
            ++nextWork[t];
        }
        EXPECT_EQ(arrWork.size(), static_cast<std::size_t>(kThreads * kEach));
    }
    // The window is gone: work posted to it is destroyed unrun.
    auto pOwned = std::make_shared<int>(0);
    bool bRan = false;
    std::thread([kept, pOwned, &bRan] {
        kept.PostWork([pOwned, &bRan](CUiWindow&) { bRan = true; });
    }).join();
    CProbeDlg after(IDD_BUSY_DIALOG);
    after.Then([&] { after.EndDialog(IDOK); });
    EXPECT_EQ(after.DoModal(), IDOK);
    EXPECT_FALSE(bRan);
    EXPECT_EQ(pOwned.use_count(), 1);
}

TEST(Win32ModalLoop, ANestedLoopServesTheOuterWindowWhileItsOwnerIsDisabled) {
    CWin32UiScope scope;
    CProbeDlg outer(IDD_MARLOWICK_DIALOG);
    CProbeDlg inner(IDD_BUSY_DIALOG);
    std::vector<std::string> arrOrder;
    std::thread worker;
    bool bOuterDisabled = false;
    outer.m_fnOnInit = [&] { outer.Post(WM_PROBE, 1); };
    outer.m_fnOnPost = [&](WPARAM w, LPARAM) {
        arrOrder.push_back("outer " + std::to_string(w));
        if (w == 1) {
            EXPECT_EQ(inner.DoModal(), IDOK);
            arrOrder.push_back("inner ended");
            EXPECT_TRUE(IsWindowEnabled(outer.Hwnd()));
            outer.EndDialog(IDCANCEL);
        }
    };
    inner.m_fnOnInit = [&] {
        outer.Post(WM_PROBE, 2);
        worker = std::thread([post = inner.GetPost()] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            post.Post(WM_PROBE, 3);
        });
    };
    inner.m_fnOnPost = [&](WPARAM w, LPARAM) {
        arrOrder.push_back("inner " + std::to_string(w));
        // The inner dialog is owned by the running one, which takes no input meanwhile.
        bOuterDisabled = !IsWindowEnabled(outer.Hwnd());
        EXPECT_EQ(GetWindow(inner.Hwnd(), GW_OWNER), outer.Hwnd());
        inner.EndDialog(IDOK);
    };
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
    worker.join();
    EXPECT_TRUE(bOuterDisabled);
    EXPECT_EQ(arrOrder, (std::vector<std::string>{"outer 1", "outer 2", "inner 3", "inner ended"}));
}

TEST(Win32Timers, FireUntilKilledAndRestartWithANewPeriod) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_TRANSFER_DIALOG);
    int nFast = 0;
    const std::uint64_t nStart = GetUiBackend().GetTickCount();
    std::uint64_t nSlowAt = 0;
    dlg.m_fnOnInit = [&] { dlg.SetTimer(1, 20); };
    dlg.m_fnOnTimer = [&](std::uintptr_t nId) {
        if (nId == 1 && ++nFast == 3) {
            EXPECT_TRUE(dlg.KillTimer(1));
            EXPECT_FALSE(dlg.KillTimer(1));
            dlg.SetTimer(2, 1000);
            dlg.SetTimer(2, 60); // restarts with the new period
        } else if (nId == 2) {
            nSlowAt = GetUiBackend().GetTickCount();
            dlg.EndDialog(IDOK);
        }
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_arrTimers, (std::vector<std::uintptr_t>{1, 1, 1, 2}));
    EXPECT_LT(nSlowAt - nStart, 900u);
}

TEST(Win32Keyboard, EnterEscapeTabAndTheCloseBoxFollowTheLayersRule) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_TRANSFER_DIALOG);
    for (int nId : {IDOK, IDCANCEL, IDC_TRANSFER_NEXT})
        dlg.RecordCommand(nId, BN_CLICKED);
    auto cmd = [](int nId) { return std::to_string(nId) + "/" + std::to_string(BN_CLICKED); };
    auto key = [&](int nId, int nVirtKey) {
        PostMessageW(dlg.Item(nId), WM_KEYDOWN, static_cast<WPARAM>(nVirtKey), 0);
    };
    // Each key goes through the modal loop, as typed.
    dlg.Then([&] { key(IDC_TRANSFER_LIST, VK_RETURN); }); // the default button
    dlg.Then([&] {
        dlg.SetFocusItem(IDC_TRANSFER_NEXT);
        EXPECT_EQ(dlg.GetFocusItem(), IDC_TRANSFER_NEXT);
        key(IDC_TRANSFER_NEXT, VK_RETURN); // the focused push button
    });
    dlg.Then([&] { key(IDC_TRANSFER_NEXT, VK_ESCAPE); });
    dlg.Then([&] {
        dlg.SetFocusItem(IDC_TRANSFER_LIST);
        dlg.EnableItem(IDOK, false);
        key(IDC_TRANSFER_LIST, VK_RETURN); // a disabled default button swallows Enter
    });
    dlg.Then([&] {
        // Tab is the dialog manager's: from the list to the next tab stop.
        key(IDC_TRANSFER_LIST, VK_TAB);
    });
    dlg.Then([&] {
        EXPECT_EQ(dlg.GetFocusItem(), IDC_TRANSFER_NEXT);
        dlg.m_bSwallowKeys = true; // PreTranslateMessage keeps every key
        key(IDC_TRANSFER_NEXT, VK_ESCAPE);
    });
    dlg.Then([&] {
        dlg.m_bSwallowKeys = false;
        EXPECT_EQ(dlg.m_arrNotified,
                  (std::vector<std::string>{cmd(IDOK), cmd(IDC_TRANSFER_NEXT), cmd(IDCANCEL)}));
        // The close box with Cancel disabled does nothing; with Cancel enabled it cancels.
        dlg.EnableItem(IDCANCEL, false);
        PostMessageW(dlg.Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    dlg.Then([&] {
        EXPECT_TRUE(dlg.IsWindowVisible());
        dlg.EnableItem(IDCANCEL, true);
        dlg.m_arrNotified.clear();
        PostMessageW(dlg.Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    dlg.Then([&] {
        EXPECT_EQ(dlg.m_arrNotified, (std::vector<std::string>{cmd(IDCANCEL)}));
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Notifications, ChangesFromCodeAreSilentAndTheUsersInputIsReported) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    for (auto [nId, nNotify] :
         {std::pair{IDC_USERNAME, EN_CHANGE}, std::pair{IDC_CONFIRM_DIALOG, BN_CLICKED},
          std::pair{IDC_DEVICE_LIST, LBN_SELCHANGE}, std::pair{IDC_REFRESH, BN_CLICKED}})
        dlg.RecordCommand(nId, nNotify);
    auto note = [](int nId, int nNotify) {
        return std::to_string(nId) + "/" + std::to_string(nNotify);
    };
    dlg.Then([&] {
        // From code: only the edit box's own EN_CHANGE, once, which the layer sends.
        dlg.SetItemText(IDC_USERNAME, "admin");
        dlg.SetItemText(IDC_STATIC_ACCOUNT, "Account name:");
        dlg.CheckDlgButton(IDC_CONFIRM_DIALOG, 1);
        EXPECT_EQ(dlg.LbAddString(IDC_DEVICE_LIST, "beta"), 0);
        EXPECT_EQ(dlg.LbAddString(IDC_DEVICE_LIST, "Alpha"), 0); // sorted
        EXPECT_EQ(dlg.LbInsertString(IDC_DEVICE_LIST, -1, "zulu"), 2);
        dlg.LbSetCurSel(IDC_DEVICE_LIST, 1);
        dlg.SetFocusItem(IDC_USERNAME);
        EXPECT_EQ(dlg.m_arrNotified, (std::vector<std::string>{note(IDC_USERNAME, EN_CHANGE)}));
        EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "admin");
        EXPECT_EQ(dlg.GetItemText(IDC_STATIC_ACCOUNT), "Account name:");
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CONFIRM_DIALOG), 1);
        EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 0), "Alpha");
        EXPECT_EQ(dlg.LbGetCurSel(IDC_DEVICE_LIST), 1);
        EXPECT_EQ(dlg.LbDeleteString(IDC_DEVICE_LIST, 2), 2);
        EXPECT_EQ(dlg.LbGetCount(IDC_DEVICE_LIST), 2);

        // From the user: typing, a click on the check box (which toggles it first) and on a
        // button, a click on a list line.
        dlg.m_arrNotified.clear();
        SendMessageW(dlg.Item(IDC_USERNAME), WM_CHAR, 'x', 0);
        SendMessageW(dlg.Item(IDC_CONFIRM_DIALOG), BM_CLICK, 0, 0);
        SendMessageW(dlg.Item(IDC_REFRESH), BM_CLICK, 0, 0);
        HWND hwndList = dlg.Item(IDC_DEVICE_LIST);
        RECT rcLine{};
        SendMessageW(hwndList, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rcLine));
        const LPARAM at = MAKELPARAM(rcLine.left + 2, rcLine.top + 2);
        SendMessageW(hwndList, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hwndList, WM_LBUTTONUP, 0, at);
        EXPECT_EQ(dlg.m_arrNotified,
                  (std::vector<std::string>{
                      note(IDC_USERNAME, EN_CHANGE), note(IDC_CONFIRM_DIALOG, BN_CLICKED),
                      note(IDC_REFRESH, BN_CLICKED), note(IDC_DEVICE_LIST, LBN_SELCHANGE)}));
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CONFIRM_DIALOG), 0);
        EXPECT_EQ(dlg.LbGetCurSel(IDC_DEVICE_LIST), 0);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Sizing, WmSizingTakesTheDialogsAnswerAndWmSizeFollowsAMove) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    std::vector<CSizingEdge> arrEdges;
    // The main window's kind of rule: a fixed height and a least width.
    dlg.m_fnOnSizing = [&](CSizingEdge edge, const CRect& rc) {
        arrEdges.push_back(edge);
        return CRect{rc.left, rc.top, rc.left + std::max(rc.Width(), 270), rc.top + 572};
    };
    dlg.Then([&] {
        // As the system sends it during a drag of the bottom-right corner.
        RECT rc{10, 20, 110, 120};
        SendMessageW(dlg.Hwnd(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&rc));
        EXPECT_EQ(LayerRect(rc), (CRect{10, 20, 280, 592}));
        EXPECT_EQ(dlg.AcceptSizing(CSizingEdge::Right, {0, 0, 400, 300}), (CRect{0, 0, 400, 572}));
        // The window takes the answer; WM_SIZE reports the new client size.
        dlg.m_arrSizes.clear();
        dlg.MoveWindow({0, 0, 400, 572});
        EXPECT_EQ(dlg.GetWindowRect(), (CRect{0, 0, 400, 572}));
        ASSERT_FALSE(dlg.m_arrSizes.empty());
        const CRect rcClient = dlg.GetClientRect();
        EXPECT_EQ(dlg.m_arrSizes.back(), (CSize{rcClient.Width(), rcClient.Height()}));
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(arrEdges, (std::vector<CSizingEdge>{CSizingEdge::BottomRight, CSizingEdge::Right}));
}

TEST(Win32Dialogs, IconPaintWhenMinimizedAndMessagesFromOtherProcesses) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.Then([&] {
        dlg.SetIcon(IDR_MAINFRAME);
        HWND hwnd = dlg.Hwnd();
        const auto hBig = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
        EXPECT_NE(hBig, nullptr);
        EXPECT_NE(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hwnd, WM_QUERYDRAGICON, 0, 0)), hBig);
        // Found by its caption, it answers a user message synchronously, as from another
        // process (the layer's cross-process call).
        const CRemoteResult result = SendRemoteMessage("BT Download Setting", WM_PROBE, 41);
        EXPECT_EQ(result.status, CRemoteStatus::Delivered);
        EXPECT_EQ(result.lResult, 42);
        EXPECT_EQ(dlg.m_arrPosts, (std::vector<int>{41}));
        ShowWindow(hwnd, SW_MINIMIZE);
    });
    dlg.Then([&] {
        EXPECT_TRUE(dlg.IsMinimized());
        // Wine paints no client area of a minimized window: the message as the system sends
        // it to a window minimized the old way.
        SendMessageW(dlg.Hwnd(), WM_PAINT, 0, 0);
        EXPECT_TRUE(dlg.m_bPaintedMinimized);
        ShowWindow(dlg.Hwnd(), SW_RESTORE);
        EXPECT_FALSE(dlg.IsMinimized());
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

// A job that waits for the test: the busy dialog shows while its worker runs.
class CHeldSearch : public CJobServicesStub {
public:
    bool Search(CDeviceList&) override {
        m_nThread = GetCurrentThreadId();
        m_release.get_future().wait_for(std::chrono::seconds(15));
        return true;
    }
    std::promise<void> m_release;
    std::atomic<DWORD> m_nThread{0};
};

TEST(Win32BusyDialog, RunsAScriptedJobOnItsWorkerToItsEnd) {
    CWin32UiScope scope;
    auto pJobs = std::make_shared<CHeldSearch>();
    CDeviceList list;
    CProbeDlg owner(IDD_MARLOWICK_DIALOG);
    std::string strStatus;
    std::string strCaption;
    bool bShown = false;
    int nResult = 0;
    owner.Then([&] {
        // The owner's timer looks at the busy dialog from inside the busy dialog's loop.
        owner.SetTimer(7, 100);
        CSearchDlg busy(BUSY_SEARCH, &list, 0, "", "", pJobs);
        owner.m_fnOnTimer = [&](std::uintptr_t) {
            owner.KillTimer(7);
            HWND hwnd = Win32WindowOf(busy);
            bShown = hwnd && IsWindowVisible(hwnd);
            strCaption = busy.GetCaption();
            strStatus = busy.GetItemText(IDC_BUSY_STATUS);
            pJobs->m_release.set_value();
        };
        nResult = busy.DoModal();
        owner.EndDialog(IDOK);
    });
    EXPECT_EQ(owner.DoModal(), IDOK);
    EXPECT_EQ(nResult, IDOK);
    EXPECT_TRUE(bShown);
    EXPECT_EQ(strCaption, LoadResString(IDS_APP_TITLE));
    EXPECT_EQ(strStatus, LoadResString(IDS_SEARCH_DEVICE));
    EXPECT_NE(pJobs->m_nThread.load(), GetCurrentThreadId());
}

class CBalloon : public CPopupWindow {
public:
    // The info-tip's shape for a text of 100 x 13 pixels: a 124 x 33 body and the tail below.
    CRegionShape m_shape{{0, 0, 124, 33}, {12, 10}, {{112, 23}, {112, 48}, {87, 23}}};
    int m_nPaints = 0;
    bool OnPaint(CPaintSurface& surface) override {
        ++m_nPaints;
        surface.FillRegion(m_shape, CSysColor::Window);
        surface.FrameRegion(m_shape, CSysColor::ScrollBar, 3, 3);
        surface.FrameRegion(m_shape, CSysColor::WindowText, 1, 1);
        surface.DrawTextIn({12, 10, 124, 58}, "\\\\NAS\\share", CUiFont::DefaultGui);
        return true;
    }
};

TEST(Win32Popup, TheBalloonHasItsShapeAndPlaceAndNeverTakesTheFocus) {
    CWin32UiScope scope;
    CProbeDlg owner(IDD_MARLOWICK_DIALOG);
    CBalloon tip;
    owner.Then([&] {
        ASSERT_TRUE(tip.CreatePopup(&owner));
        HWND hwnd = Win32WindowOf(tip);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner.Hwnd());
        EXPECT_FALSE(tip.IsWindowVisible());
        const auto dwEx = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
        const DWORD dwWanted = WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
        EXPECT_EQ(dwEx & dwWanted, dwWanted);
        HWND hwndActive = GetActiveWindow();

        tip.SetRegion(tip.m_shape);
        // The tail's point at the cursor position (400, 300): the window at 400 - 112, 300 - 48.
        tip.ShowAt(CRect::FromXywh(288, 252, 124, 58));
        EXPECT_TRUE(tip.IsWindowVisible());
        EXPECT_EQ(tip.GetWindowRect(), CRect::FromXywh(288, 252, 124, 58));
        EXPECT_EQ(GetActiveWindow(), hwndActive);
        HRGN hrgn = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(hwnd, hrgn), COMPLEXREGION);
        // Inside: the body and the tail down to its point; outside: the rounded corners and the
        // space beside the tail.
        for (POINT p : {POINT{62, 16}, POINT{111, 45}, POINT{100, 30}})
            EXPECT_TRUE(PtInRegion(hrgn, p.x, p.y)) << p.x << "," << p.y;
        for (POINT p : {POINT{0, 0}, POINT{123, 0}, POINT{20, 45}, POINT{118, 45}})
            EXPECT_FALSE(PtInRegion(hrgn, p.x, p.y)) << p.x << "," << p.y;
        DeleteObject(hrgn);
        UpdateWindow(hwnd);
        EXPECT_GT(tip.m_nPaints, 0);
        EXPECT_EQ(GetUiBackend().WindowFromPoint({288 + 62, 252 + 16}), tip.Ref());
        tip.ShowWindow(false);
        tip.DestroyWindow();
        EXPECT_EQ(Win32WindowOf(tip), nullptr);
        owner.EndDialog(IDOK);
    });
    EXPECT_EQ(owner.DoModal(), IDOK);
}

TEST(Win32Metrics, TextSizesTheWindowUnderAPointAndTheScreen) {
    CWin32UiScope scope;
    CUiBackend& ui = GetUiBackend();
    // The default GUI font's lines: two lines are twice one line high, as wide as the longer.
    const CSize one = ui.MeasureText("abc", CUiFont::DefaultGui);
    const CSize two = ui.MeasureText("abc\nde", CUiFont::DefaultGui);
    EXPECT_GT(one.cx, 0);
    EXPECT_EQ(two.cx, one.cx);
    EXPECT_EQ(two.cy, 2 * one.cy);
    EXPECT_EQ(ui.GetScreenSize(),
              (CSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    EXPECT_EQ(ui.GetIconSize(), (CSize{32, 32}));
    const std::uint64_t nTick = ui.GetTickCount();
    Sleep(20);
    EXPECT_GE(ui.GetTickCount(), nTick + 15);

    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.Then([&] {
        // An edit inside a group box is found; the group box itself and a static are not.
        const CRect rcEdit = dlg.GetItemRect(IDC_USERNAME);
        EXPECT_EQ(ui.WindowFromPoint({rcEdit.left + 2, rcEdit.top + 2}), dlg.Ref(IDC_USERNAME));
        const CRect rcBox = dlg.GetItemRect(IDC_SETTINGS_BOX);
        EXPECT_EQ(ui.WindowFromPoint({rcBox.left + 2, rcBox.top + 2}), dlg.Ref());
        const CRect rcStatic = dlg.GetItemRect(IDC_STATIC_ACCOUNT);
        EXPECT_EQ(ui.WindowFromPoint({rcStatic.left + 1, rcStatic.top + 1}), dlg.Ref());
        EXPECT_EQ(ui.GetCursorPos(), ([] {
                      POINT p;
                      GetCursorPos(&p);
                      return CPoint{p.x, p.y};
                  }()));
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

} // namespace

namespace {

TEST(Win32MessageBox, TheSystemsBoxIsOwnedByTheWindowAndGivesTheButtonPressed) {
    CWin32UiScope scope;
    CProbeDlg owner(IDD_MARLOWICK_DIALOG);
    HWND hwndBoxOwner = nullptr;
    HWND hwndOwner = nullptr;
    int nAnswer = 0;
    owner.m_fnOnTimer = [&](std::uintptr_t) {
        // The box runs the system's modal loop; the owner's timer still fires in it.
        HWND hwndBox = FindWindowA("#32770", "Caption");
        if (!hwndBox)
            return;
        owner.KillTimer(11);
        hwndBoxOwner = GetWindow(hwndBox, GW_OWNER);
        hwndOwner = owner.Hwnd();
        PostMessageW(hwndBox, WM_COMMAND, IDNO, 0);
    };
    owner.Then([&] {
        owner.SetTimer(11, 50);
        nAnswer = owner.ShowMessageBox("Question?", "Caption", MB_YESNO);
        owner.EndDialog(IDOK);
    });
    EXPECT_EQ(owner.DoModal(), IDOK);
    EXPECT_EQ(nAnswer, IDNO);
    EXPECT_NE(hwndOwner, nullptr);
    EXPECT_EQ(hwndBoxOwner, hwndOwner);
}

TEST(Win32Shell, StartsProgramsHiddenAndKnowsItsOwnPath) {
    CWin32UiScope scope; // COM, as on the program's UI thread
    const auto pShell = CreateSystemShell();
    const std::string strPath = pShell->GetModulePath();
    EXPECT_NE(strPath.find("win32_ui_test.exe"), std::string::npos) << strPath;
    EXPECT_EQ(strPath.find(':'), 1u) << strPath;
    EXPECT_TRUE(pShell->StartHidden("cmd.exe", "/c exit 0"));
    EXPECT_FALSE(pShell->StartHidden("C:\\no\\such\\program.exe", "/Y"));
}

} // namespace

namespace {

void SendMouse(DWORD dwFlags, POINT pt) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(pt.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(pt.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = dwFlags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

TEST(Win32Sizing, ARealDragOfTheCornerSnapsToWhatOnSizingAnswers) {
    CWin32UiScope scope;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.m_fnOnSizing = [&](CSizingEdge, const CRect& rc) {
        return CRect{rc.left, rc.top, rc.left + std::max(rc.Width(), 270), rc.top + 572};
    };
    CRect rcBefore;
    CRect rcAfter;
    POINT ptCorner{};
    int nTicks = 0;
    // Timers come after input: each tick finds the input of the one before handled. The press
    // starts the system's sizing loop, which the later ticks run inside.
    dlg.m_fnOnTimer = [&](std::uintptr_t) {
        ++nTicks;
        if (nTicks == 1) {
            SendMouse(MOUSEEVENTF_LEFTDOWN, ptCorner);
        } else if (nTicks <= 6) {
            SendMouse(0, {ptCorner.x + 20 * (nTicks - 1), ptCorner.y + 10 * (nTicks - 1)});
        } else if (nTicks == 7) {
            SendMouse(MOUSEEVENTF_LEFTUP, {ptCorner.x + 100, ptCorner.y + 50});
        } else {
            dlg.KillTimer(12);
            rcAfter = dlg.GetWindowRect();
            dlg.EndDialog(IDOK);
        }
    };
    dlg.Then([&] {
        dlg.MoveWindow({50, 50, 650, 450});
        rcBefore = dlg.GetWindowRect();
        ptCorner = {rcBefore.right - 2, rcBefore.bottom - 2};
        SetForegroundWindow(dlg.Hwnd());
        SendMouse(0, ptCorner);
        dlg.SetTimer(12, 40);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    // The proposal followed the mouse; the window took OnSizing's answer.
    EXPECT_EQ(rcAfter.left, rcBefore.left);
    EXPECT_EQ(rcAfter.top, rcBefore.top);
    EXPECT_EQ(rcAfter.Height(), 572);
    EXPECT_GT(rcAfter.Width(), rcBefore.Width());
}

} // namespace
