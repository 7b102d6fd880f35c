// The GTK backend against the layer's contract, with real windows under Xvfb driven through GTK:
// template pixels, posts and work in order in every loop, timers, the keyboard rule,
// notifications from code, sizing, the busy dialog, message boxes, the shaped popup and messages
// from other processes; Linux test.
#include "tests/platform/gtk/gtk_test_support.h"

#include "app/search_dlg.h"
#include "discovery/device_list.h"
#include "platform/gtk/gtk_peers.h"
#include "resources/resources.h"
#include "tests/app/job_services_stub.h"

#include <gdk/gdkx.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using mwtest::DoModalWithin;
using mwtest::PumpFor;
using mwtest::PumpUntil;
using mwtest::RunSoon;

constexpr unsigned WM_PROBE = WM_USER + 1;

// A dialog that records what reaches it; its steps run once its loop runs.
class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(int nTemplate = IDD_TRANSFER_DIALOG)
        : CDialog(GetDialogTemplate(nTemplate)) {
        MapMessage(WM_PROBE, [this](WPARAM w, LPARAM l) {
            m_arrPosts.push_back(static_cast<int>(w));
            if (m_fnOnPost)
                m_fnOnPost(w, l);
            return LRESULT{static_cast<int>(w) * 2};
        });
    }
    void RecordCommand(int nId, int nNotify) {
        MapCommand(nId, nNotify, [this, nId, nNotify] {
            m_arrNotified.push_back(std::to_string(nId) + "/" + std::to_string(nNotify));
        });
    }
    bool PreTranslateMessage(const CUiMessage& msg) override {
        return m_bSwallowKeys && msg.nMsg == WM_KEYDOWN;
    }

    std::vector<int> m_arrPosts;
    std::vector<std::string> m_arrNotified;
    std::vector<std::uintptr_t> m_arrTimers;
    std::vector<CSize> m_arrSizes;
    std::vector<CSizingEdge> m_arrEdges;
    bool m_bSwallowKeys = false;
    std::function<void(WPARAM, LPARAM)> m_fnOnPost;
    std::function<void()> m_fnOnInit;
    std::function<CRect(const CRect&)> m_fnOnSizing;

protected:
    bool OnInitDialog() override {
        if (m_fnOnInit)
            m_fnOnInit();
        return true;
    }
    void OnTimer(std::uintptr_t nId) override { m_arrTimers.push_back(nId); }
    CRect OnSizing(CSizingEdge edge, const CRect& rc) override {
        m_arrEdges.push_back(edge);
        return m_fnOnSizing ? m_fnOnSizing(rc) : rc;
    }
    void OnSize(int cx, int cy) override { m_arrSizes.push_back({cx, cy}); }
};

std::string Cmd(int nId, int nNotify = BN_CLICKED) {
    return std::to_string(nId) + "/" + std::to_string(nNotify);
}

class GtkUi : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_ui)
            GTEST_SKIP() << "no display";
    }
    mwtest::CGtkScope m_ui;
};

TEST_F(GtkUi, TemplatesBecomeThePixelsTheInterfaceFontsBaseUnitsGive) {
    const CDialogBaseUnits base = GetUiBackend().GetBaseUnits("MS Sans Serif", 8);
    // A real font: a few pixels per quarter character, more per eighth of a line.
    EXPECT_GE(base.cx, 4);
    EXPECT_LE(base.cx, 20);
    EXPECT_GE(base.cy, 10);
    EXPECT_LE(base.cy, 40);
    for (int nTemplate : {IDD_MARLOWICK_DIALOG, IDD_BUSY_DIALOG, IDD_TRANSFER_DIALOG}) {
        SCOPED_TRACE(nTemplate);
        const CDlgTemplate& tmpl = GetDialogTemplate(nTemplate);
        CProbeDlg dlg(nTemplate);
        dlg.m_fnOnInit = [&] {
            RunSoon([&] {
                ASSERT_TRUE(PumpUntil([&] {
                    return gtk_widget_get_mapped(m_ui->WindowWidget(dlg)) &&
                           dlg.GetWindowRect() == mwtest::ScreenRectOf(m_ui->WindowWidget(dlg));
                }));
                EXPECT_EQ(dlg.GetClientRect(), base.ToPixels(0, 0, tmpl.cx, tmpl.cy));
                const CPoint o = dlg.ClientToScreen({0, 0});
                for (const auto& item : tmpl.items) {
                    if (item.nId == -1 || (item.dwStyle & CTRL_HIDDEN))
                        continue;
                    SCOPED_TRACE(item.nId);
                    const CRect rc = base.ItemRect(item);
                    const CRect rcScreen{rc.left + o.x, rc.top + o.y, rc.right + o.x,
                                         rc.bottom + o.y};
                    EXPECT_EQ(dlg.GetItemRect(item.nId), rcScreen);
                    // Where GTK really put the control, whatever the theme's minimum sizes.
                    GtkWidget* pWidget = m_ui->ItemWidget(dlg, item.nId);
                    if (GtkWidget* pScrolled = gtk_widget_get_parent(pWidget);
                        GTK_IS_SCROLLED_WINDOW(pScrolled))
                        pWidget = pScrolled;
                    EXPECT_EQ(mwtest::ScreenRectOf(pWidget), rcScreen);
                }
                dlg.EndDialog(IDOK);
            });
        };
        EXPECT_EQ(DoModalWithin(dlg), IDOK);
    }
}

TEST_F(GtkUi, WindowsMoveInScreenCoordinates) {
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.m_fnOnInit = [&] {
        RunSoon([&] {
            GtkWidget* pWindow = m_ui->WindowWidget(dlg);
            ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(pWindow); }));
            // As the page switch does: the window at x = 5, wider.
            const CRect rc = dlg.GetWindowRect();
            const CRect rcWide{5, rc.top + 10, 5 + rc.Width() + 200, rc.top + 10 + rc.Height()};
            dlg.MoveWindow(rcWide);
            EXPECT_EQ(dlg.GetWindowRect(), rcWide); // at once, as a native window answers
            EXPECT_TRUE(PumpUntil([&] { return mwtest::ScreenRectOf(pWindow) == rcWide; }))
                << "the window is at " << mwtest::ScreenRectOf(pWindow).left;
            EXPECT_EQ(dlg.GetWindowRect(), rcWide);
            ASSERT_FALSE(dlg.m_arrSizes.empty());
            EXPECT_EQ(dlg.m_arrSizes.back(), (CSize{rcWide.Width(), rcWide.Height()}));
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
}

TEST_F(GtkUi, PostsAndWorkFromWorkersArriveInOrderOnTheUiThreadInNestedLoops) {
    CProbeDlg outer(IDD_MARLOWICK_DIALOG);
    CProbeDlg inner(IDD_BUSY_DIALOG);
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> bAllOnUiThread{true};
    std::vector<std::thread> workers;
    std::vector<std::string> arrWork;
    std::vector<std::string> arrOrder;
    // The outer window opens the inner one from a posted message; the workers post to the outer
    // window while the inner loop runs, and the inner one ends when they are through.
    outer.m_fnOnInit = [&] { outer.Post(WM_PROBE, 1); };
    outer.m_fnOnPost = [&](WPARAM w, LPARAM) {
        if (std::this_thread::get_id() != uiThread)
            bAllOnUiThread = false;
        if (w == 1) {
            arrOrder.push_back("outer opens inner");
            EXPECT_EQ(DoModalWithin(inner), IDOK);
            arrOrder.push_back("inner ended");
            outer.EndDialog(IDOK);
        }
    };
    inner.m_fnOnInit = [&] {
        const CWindowPost post = outer.GetPost();
        for (int t = 0; t < kThreads; ++t)
            workers.emplace_back([post, t, &arrWork] {
                for (int i = 0; i < kEach; ++i) {
                    const int v = 1000 + t * 100000 + i;
                    post.Post(WM_PROBE, static_cast<WPARAM>(v));
                    post.PostWork(
                        [v, &arrWork](CUiWindow&) { arrWork.push_back(std::to_string(v)); });
                }
            });
        inner.GetPost().PostWork([&](CUiWindow&) {
            for (auto& w : workers)
                w.join();
            // What the workers posted last is queued now; the inner dialog ends behind it.
            outer.GetPost().PostWork([&](CUiWindow&) { inner.EndDialog(IDOK); });
        });
    };
    EXPECT_EQ(DoModalWithin(outer), IDOK);
    EXPECT_TRUE(bAllOnUiThread);
    EXPECT_EQ(arrOrder, (std::vector<std::string>{"outer opens inner", "inner ended"}));
    // Each worker's posts arrive in its order, each message right before its work.
    ASSERT_EQ(outer.m_arrPosts.size(), 1u + kThreads * kEach);
    ASSERT_EQ(arrWork.size(), static_cast<std::size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (std::size_t k = 1; k < outer.m_arrPosts.size(); ++k) {
        const int v = outer.m_arrPosts[k] - 1000;
        const auto t = static_cast<std::size_t>(v / 100000);
        ASSERT_EQ(v % 100000, next[t]) << "worker " << t;
        ++next[t];
    }
    // A worker that still holds the handle of a window that has gone posts into the void.
    const CWindowPost gone = inner.GetPost();
    bool bRan = false;
    std::thread([gone, &bRan] { gone.PostWork([&bRan](CUiWindow&) { bRan = true; }); }).join();
    PumpFor(50);
    EXPECT_FALSE(bRan);
}

TEST_F(GtkUi, TimersFireByIdUntilKilledAndRestartWithANewPeriod) {
    CProbeDlg dlg;
    dlg.m_fnOnInit = [&] {
        dlg.SetTimer(1, 20);
        dlg.SetTimer(2, 10000);
        RunSoon([&] {
            EXPECT_TRUE(PumpUntil([&] { return dlg.m_arrTimers.size() >= 3; }));
            EXPECT_TRUE(dlg.KillTimer(1));
            EXPECT_FALSE(dlg.KillTimer(1));
            // Setting a running id again restarts it with the new period.
            dlg.SetTimer(2, 20);
            const std::size_t nBefore = dlg.m_arrTimers.size();
            EXPECT_TRUE(PumpUntil([&] { return dlg.m_arrTimers.size() >= nBefore + 2; }));
            EXPECT_TRUE(std::all_of(dlg.m_arrTimers.begin() + static_cast<long>(nBefore),
                                    dlg.m_arrTimers.end(), [](auto n) { return n == 2; }));
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
    // The window is gone, and so are its timers.
    const std::size_t nFired = dlg.m_arrTimers.size();
    PumpFor(100);
    EXPECT_EQ(dlg.m_arrTimers.size(), nFired);
}

TEST_F(GtkUi, KeysGoThroughTheDialogsKeyboardRule) {
    CProbeDlg dlg(IDD_TRANSFER_DIALOG);
    dlg.RecordCommand(IDOK, BN_CLICKED);
    dlg.RecordCommand(IDCANCEL, BN_CLICKED);
    dlg.RecordCommand(IDC_TRANSFER_NEXT, BN_CLICKED);
    dlg.m_fnOnInit = [&] {
        RunSoon([&] {
            GtkWidget* pWindow = m_ui->WindowWidget(dlg);
            ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(pWindow); }));
            const auto press = [&](guint nKey, std::size_t nExpected) {
                mwtest::PressKey(pWindow, nKey);
                return PumpUntil([&] { return dlg.m_arrNotified.size() == nExpected; }, 2000);
            };
            dlg.SetFocusItem(IDC_TRANSFER_LIST);
            EXPECT_EQ(dlg.GetFocusItem(), IDC_TRANSFER_LIST);
            EXPECT_TRUE(press(GDK_KEY_Return, 1)); // the default button
            dlg.SetFocusItem(IDC_TRANSFER_NEXT);
            EXPECT_TRUE(press(GDK_KEY_KP_Enter, 2)); // the focused push button
            EXPECT_TRUE(press(GDK_KEY_Escape, 3));
            // Enter on a disabled default button does nothing, and GTK does not get it either.
            dlg.SetFocusItem(IDC_TRANSFER_LIST);
            dlg.EnableItem(IDOK, false);
            mwtest::PressKey(pWindow, GDK_KEY_Return);
            PumpFor(100);
            // PreTranslateMessage sees the key first and may keep it.
            dlg.m_bSwallowKeys = true;
            mwtest::PressKey(pWindow, GDK_KEY_Escape);
            PumpFor(100);
            EXPECT_EQ(dlg.m_arrNotified,
                      (std::vector<std::string>{Cmd(IDOK), Cmd(IDC_TRANSFER_NEXT), Cmd(IDCANCEL)}));
            dlg.EndDialog(7);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), 7);
}

TEST_F(GtkUi, OnlyTheUserNotifiesWhatCodeChangesStaySilentAsTheDialogManagerKeepsThem) {
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    for (auto [nId, nNotify] :
         {std::pair{IDC_USERNAME, EN_CHANGE}, std::pair{IDC_CONFIRM_DIALOG, BN_CLICKED},
          std::pair{IDC_DEVICE_LIST, LBN_SELCHANGE}, std::pair{IDC_DEVICE_LIST, LBN_DBLCLK}})
        dlg.RecordCommand(nId, nNotify);
    dlg.m_fnOnInit = [&] {
        RunSoon([&] {
            // From code: an edit box reports its new text (the layer does); the rest is silent.
            dlg.SetItemText(IDC_USERNAME, "admin");
            dlg.SetItemText(IDC_STATIC_ACCOUNT, "Account name:");
            dlg.CheckDlgButton(IDC_CONFIRM_DIALOG, 1);
            dlg.CheckDlgButton(IDC_CONFIRM_DIALOG, 0);
            dlg.LbAddString(IDC_DEVICE_LIST, "beta");
            dlg.LbAddString(IDC_DEVICE_LIST, "Alpha");
            dlg.LbInsertString(IDC_DEVICE_LIST, 0, "zulu");
            dlg.LbSetCurSel(IDC_DEVICE_LIST, 1);
            dlg.LbDeleteString(IDC_DEVICE_LIST, 1);
            // Taking the focus does not select a line either.
            dlg.LbSetCurSel(IDC_DEVICE_LIST, -1);
            dlg.SetFocusItem(IDC_DEVICE_LIST);
            PumpFor(50);
            EXPECT_EQ(dlg.LbGetCurSel(IDC_DEVICE_LIST), -1);
            EXPECT_EQ(dlg.m_arrNotified, (std::vector<std::string>{Cmd(IDC_USERNAME, EN_CHANGE)}));
            EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 0), "zulu");
            EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 1), "beta");

            // From the user, through GTK: each reports once.
            dlg.m_arrNotified.clear();
            auto* pEntry = GTK_ENTRY(m_ui->ItemWidget(dlg, IDC_USERNAME));
            gtk_entry_set_text(pEntry, "root");
            gtk_button_clicked(GTK_BUTTON(m_ui->ItemWidget(dlg, IDC_CONFIRM_DIALOG)));
            auto* pList = GTK_TREE_VIEW(m_ui->ItemWidget(dlg, IDC_DEVICE_LIST));
            GtkTreePath* pPath = gtk_tree_path_new_from_indices(1, -1);
            gtk_tree_selection_select_path(gtk_tree_view_get_selection(pList), pPath);
            gtk_tree_selection_select_path(gtk_tree_view_get_selection(pList), pPath);
            gtk_tree_view_row_activated(pList, pPath, gtk_tree_view_get_column(pList, 0));
            gtk_tree_path_free(pPath);
            EXPECT_EQ(dlg.m_arrNotified,
                      (std::vector<std::string>{
                          Cmd(IDC_USERNAME, EN_CHANGE), Cmd(IDC_CONFIRM_DIALOG, BN_CLICKED),
                          Cmd(IDC_DEVICE_LIST, LBN_SELCHANGE), Cmd(IDC_DEVICE_LIST, LBN_DBLCLK)}));
            EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "root");
            EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CONFIRM_DIALOG), 1);
            EXPECT_EQ(dlg.LbGetCurSel(IDC_DEVICE_LIST), 1);

            // Read-only and password boxes, hidden and disabled controls.
            dlg.SetItemReadOnly(IDC_TARGET_DEVICE, true);
            EXPECT_TRUE(dlg.IsItemReadOnly(IDC_TARGET_DEVICE));
            EXPECT_FALSE(
                gtk_editable_get_editable(GTK_EDITABLE(m_ui->ItemWidget(dlg, IDC_TARGET_DEVICE))));
            EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(m_ui->ItemWidget(dlg, IDC_PASSWORD))));
            dlg.ShowItem(IDC_TRANSFER, false);
            EXPECT_FALSE(dlg.IsItemVisible(IDC_TRANSFER));
            EXPECT_FALSE(gtk_widget_get_visible(m_ui->ItemWidget(dlg, IDC_TRANSFER)));
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
}

TEST_F(GtkUi, AListViewKeepsColumnsRowsAndTheSelection) {
    CProbeDlg dlg(IDD_TRANSFER_DIALOG);
    dlg.m_fnOnInit = [&] {
        EXPECT_EQ(dlg.LvInsertColumn(IDC_TRANSFER_LIST, 0, "Status", 60), 0);
        EXPECT_EQ(dlg.LvInsertColumn(IDC_TRANSFER_LIST, 0, "File name", 150), 0);
        EXPECT_EQ(dlg.LvGetColumnWidth(IDC_TRANSFER_LIST, 0), 150);
        EXPECT_EQ(dlg.LvGetColumnWidth(IDC_TRANSFER_LIST, 1), 60);
        EXPECT_EQ(dlg.LvInsertItem(IDC_TRANSFER_LIST, 0, "b.torrent"), 0);
        EXPECT_EQ(dlg.LvInsertItem(IDC_TRANSFER_LIST, 0, "a.torrent"), 0);
        EXPECT_EQ(dlg.LvInsertItem(IDC_TRANSFER_LIST, 9, "c.torrent"), 2);
        EXPECT_TRUE(dlg.LvSetItemText(IDC_TRANSFER_LIST, 1, 1, "Waiting"));
        EXPECT_FALSE(dlg.LvSetItemText(IDC_TRANSFER_LIST, 5, 1, "x"));
        dlg.LvSetSelection(IDC_TRANSFER_LIST, 2);
        RunSoon([&] {
            EXPECT_EQ(dlg.LvGetItemCount(IDC_TRANSFER_LIST), 3);
            EXPECT_EQ(dlg.LvGetItemText(IDC_TRANSFER_LIST, 1, 0), "b.torrent");
            EXPECT_EQ(dlg.LvGetItemText(IDC_TRANSFER_LIST, 1, 1), "Waiting");
            EXPECT_EQ(dlg.LvGetSelection(IDC_TRANSFER_LIST), 2);
            // The user picks another row.
            auto* pView = GTK_TREE_VIEW(m_ui->ItemWidget(dlg, IDC_TRANSFER_LIST));
            GtkTreePath* pPath = gtk_tree_path_new_from_indices(0, -1);
            gtk_tree_view_set_cursor(pView, pPath, nullptr, FALSE);
            gtk_tree_path_free(pPath);
            EXPECT_EQ(dlg.LvGetSelection(IDC_TRANSFER_LIST), 0);
            // A column inserted before the others moves their texts along.
            EXPECT_EQ(dlg.LvInsertColumn(IDC_TRANSFER_LIST, 0, "#", 20), 0);
            EXPECT_EQ(dlg.LvGetItemText(IDC_TRANSFER_LIST, 1, 1), "b.torrent");
            EXPECT_EQ(dlg.LvGetItemText(IDC_TRANSFER_LIST, 1, 2), "Waiting");
            dlg.LvDeleteAllItems(IDC_TRANSFER_LIST);
            EXPECT_EQ(dlg.LvGetItemCount(IDC_TRANSFER_LIST), 0);
            EXPECT_EQ(dlg.LvGetSelection(IDC_TRANSFER_LIST), -1);
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
}

TEST_F(GtkUi, ADragEndsAtTheSizeOnSizingAccepts) {
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    // The window keeps its height and is at least 400 pixels wide.
    dlg.m_fnOnSizing = [&](const CRect& rc) {
        const CRect rcNow = dlg.GetWindowRect();
        return CRect{rc.left, rc.top, rc.left + std::max(rc.Width(), 400), rc.top + rcNow.Height()};
    };
    dlg.m_fnOnInit = [&] {
        RunSoon([&] {
            GtkWidget* pWindow = m_ui->WindowWidget(dlg);
            ASSERT_TRUE(PumpUntil([&] {
                return gtk_widget_get_mapped(pWindow) &&
                       mwtest::ScreenRectOf(pWindow) == dlg.GetWindowRect();
            }));
            const CRect rcStart = dlg.GetWindowRect();
            dlg.m_arrSizes.clear();
            // What a window manager does while the user drags the bottom-right corner: it
            // resizes the window from outside.
            GdkWindow* pGdk = gtk_widget_get_window(pWindow);
            XResizeWindow(GDK_WINDOW_XDISPLAY(pGdk), GDK_WINDOW_XID(pGdk), 300,
                          static_cast<unsigned>(rcStart.Height() + 80));
            const CRect rcTaken{rcStart.left, rcStart.top, rcStart.left + 400, rcStart.bottom};
            EXPECT_TRUE(PumpUntil([&] {
                return !dlg.m_arrEdges.empty() && mwtest::ScreenRectOf(pWindow) == rcTaken;
            })) << "the window is "
                << mwtest::ScreenRectOf(pWindow).Width() << " x "
                << mwtest::ScreenRectOf(pWindow).Height();
            ASSERT_FALSE(dlg.m_arrEdges.empty());
            EXPECT_EQ(dlg.m_arrEdges.front(), CSizingEdge::BottomRight);
            EXPECT_EQ(dlg.GetWindowRect(), rcTaken);
            ASSERT_FALSE(dlg.m_arrSizes.empty());
            EXPECT_EQ(dlg.m_arrSizes.back(), (CSize{400, rcStart.Height()}));
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
}

// A job service whose search takes a while on the worker.
class CSlowSearch : public CJobServicesStub {
public:
    bool Search(CDeviceList& /*list*/) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_bSearched = true;
        return true;
    }
    std::atomic<bool> m_bSearched{false};
};

TEST_F(GtkUi, TheBusyDialogShowsWhileItsJobRunsAndEndsWithIt) {
    auto pJobs = std::make_shared<CSlowSearch>();
    CDeviceList list;
    CSearchDlg dlg(BUSY_SEARCH, &list, 0, "", "", pJobs);
    bool bSeen = false;
    RunSoon([&] {
        GtkWidget* pWindow = m_ui->WindowWidget(dlg);
        ASSERT_NE(pWindow, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(pWindow); }));
        EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(pWindow)), LoadResString(IDS_APP_TITLE));
        EXPECT_EQ(dlg.GetItemText(IDC_BUSY_STATUS), LoadResString(IDS_SEARCH_DEVICE));
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(m_ui->ItemWidget(dlg, IDC_BUSY_STATUS))),
                     LoadResString(IDS_SEARCH_DEVICE).c_str());
        // Escape and the close box do nothing while the job runs.
        mwtest::PressKey(pWindow, GDK_KEY_Escape);
        bSeen = true;
    });
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
    EXPECT_TRUE(bSeen);
    EXPECT_TRUE(pJobs->m_bSearched);
}

TEST_F(GtkUi, MessageBoxesAnswerWithTheButtonPressed) {
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.m_fnOnInit = [&] {
        RunSoon([&] {
            struct Case {
                unsigned nType;
                int nResponse; // what the user does: a button, or closing the box
                int nExpected;
            };
            for (const Case c : {Case{MB_YESNO, IDNO, IDNO}, Case{MB_OKCANCEL, IDCANCEL, IDCANCEL},
                                 Case{MB_OK | MB_ICONEXCLAMATION, IDOK, IDOK},
                                 Case{MB_OK, GTK_RESPONSE_DELETE_EVENT, IDOK},
                                 Case{MB_OKCANCEL, GTK_RESPONSE_DELETE_EVENT, IDCANCEL}}) {
                SCOPED_TRACE(c.nType);
                std::string strTitle;
                RunSoon([&] {
                    GtkWidget* pBox = nullptr;
                    ASSERT_TRUE(PumpUntil([&] {
                        return (pBox = mwtest::FindShownWindow(GTK_TYPE_MESSAGE_DIALOG)) != nullptr;
                    }));
                    strTitle = gtk_window_get_title(GTK_WINDOW(pBox));
                    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(pBox)),
                              GTK_WINDOW(m_ui->WindowWidget(dlg)));
                    gtk_dialog_response(GTK_DIALOG(pBox), c.nResponse);
                });
                EXPECT_EQ(dlg.ShowMessageBox("Question?", "Caption", c.nType), c.nExpected);
                EXPECT_EQ(strTitle, "Caption");
            }
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
}

TEST_F(GtkUi, TheWindowUnderAPointSeesThroughGroupBoxesAndStatics) {
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    dlg.m_fnOnInit = [&] {
        RunSoon([&] {
            const CRect rcEdit = dlg.GetItemRect(IDC_USERNAME);
            EXPECT_EQ(GetUiBackend().WindowFromPoint({rcEdit.left + 1, rcEdit.top + 1}),
                      dlg.Ref(IDC_USERNAME));
            const CRect rcBox = dlg.GetItemRect(IDC_SETTINGS_BOX);
            EXPECT_EQ(GetUiBackend().WindowFromPoint({rcBox.left + 2, rcBox.top + 2}), dlg.Ref());
            const CRect rcLabel = dlg.GetItemRect(IDC_STATIC_ACCOUNT);
            EXPECT_EQ(GetUiBackend().WindowFromPoint({rcLabel.left + 1, rcLabel.top + 1}),
                      dlg.Ref());
            EXPECT_FALSE(GetUiBackend().WindowFromPoint({5000, 5000}));
            // Metrics of the desktop: the Xvfb screen, the interface font.
            EXPECT_EQ(GetUiBackend().GetScreenSize(), (CSize{1280, 1024}));
            EXPECT_EQ(GetUiBackend().GetIconSize(), (CSize{32, 32}));
            const CSize one = GetUiBackend().MeasureText("abc", CUiFont::DefaultGui);
            const CSize two = GetUiBackend().MeasureText("abc\nabcdef", CUiFont::DefaultGui);
            EXPECT_GT(one.cx, 0);
            EXPECT_GT(two.cx, one.cx);
            EXPECT_GE(two.cy, 2 * one.cy - 2);
            dlg.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
}

// The balloon's shape: a rounded rectangle with a tail below its right end.
class CProbeTip : public CPopupWindow {
public:
    CRegionShape m_shape{{0, 0, 124, 33}, {12, 10}, {{112, 23}, {112, 48}, {87, 23}}};
    int m_nPaints = 0;
    std::vector<unsigned> m_arrMouse;
    bool OnPaint(CPaintSurface& surface) override {
        ++m_nPaints;
        surface.FillRegion(m_shape, CSysColor::Window);
        surface.FrameRegion(m_shape, CSysColor::WindowText, 1, 1);
        surface.DrawIcon({4, 4}, IDR_MAINFRAME, {16, 16});
        surface.DrawTextIn({24, 6, 120, 30}, "tip", CUiFont::DefaultGui);
        return true;
    }
};

TEST_F(GtkUi, TheBalloonIsShapedByItsRegionAndShowsAtTheCursor) {
    // The region alone: inside the rounded body and the tail, not in the cut corners or beside
    // the tail.
    const CProbeTip shape;
    cairo_region_t* pRegion = RegionFromShape(shape.m_shape);
    struct Case {
        CPoint pt;
        bool bInside;
    };
    for (const Case c :
         {Case{{60, 15}, true}, Case{{1, 16}, true}, Case{{0, 0}, false}, Case{{123, 0}, false},
          Case{{0, 32}, false}, Case{{110, 40}, true}, Case{{111, 46}, true}, Case{{90, 45}, false},
          Case{{113, 40}, false}, Case{{60, 33}, false}}) {
        EXPECT_EQ(cairo_region_contains_point(pRegion, c.pt.x, c.pt.y) != 0, c.bInside)
            << c.pt.x << "," << c.pt.y;
    }
    cairo_region_destroy(pRegion);

    CProbeDlg owner(IDD_MARLOWICK_DIALOG);
    CProbeTip tip;
    owner.m_fnOnInit = [&] {
        RunSoon([&] {
            // The cursor comes from the pointer device.
            GdkDisplay* pDisplay = gdk_display_get_default();
            GdkDevice* pPointer = gdk_seat_get_pointer(gdk_display_get_default_seat(pDisplay));
            gdk_device_warp(pPointer, gdk_display_get_default_screen(pDisplay), 700, 600);
            ASSERT_TRUE(PumpUntil([] {
                return GetUiBackend().GetCursorPos() == CPoint{700, 600};
            }));
            const CPoint pt = GetUiBackend().GetCursorPos();

            ASSERT_TRUE(tip.CreatePopup(&owner));
            EXPECT_FALSE(tip.IsWindowVisible());
            tip.SetRegion(tip.m_shape);
            // As the balloon does: its tail's tip at the cursor.
            const CRect rc = CRect::FromXywh(pt.x - 112, pt.y - 48, 124, 49);
            tip.ShowAt(rc);
            GtkWidget* pWindow = m_ui->WindowWidget(tip);
            EXPECT_TRUE(PumpUntil([&] {
                return gtk_widget_get_mapped(pWindow) && mwtest::ScreenRectOf(pWindow) == rc &&
                       tip.m_nPaints > 0;
            }));
            EXPECT_EQ(tip.GetWindowRect(), rc);
            EXPECT_TRUE(gtk_window_get_type_hint(GTK_WINDOW(pWindow)) ==
                        GDK_WINDOW_TYPE_HINT_TOOLTIP);
            EXPECT_FALSE(gtk_window_get_accept_focus(GTK_WINDOW(pWindow)));
            EXPECT_TRUE(gtk_window_has_toplevel_focus(GTK_WINDOW(pWindow)) == FALSE);
            // Hit where the shape is, not where it is cut away.
            EXPECT_EQ(GetUiBackend().WindowFromPoint({rc.left + 60, rc.top + 15}), tip.Ref());
            EXPECT_EQ(GetUiBackend().WindowFromPoint({pt.x - 1, pt.y - 3}), tip.Ref());
            EXPECT_NE(GetUiBackend().WindowFromPoint({rc.left + 2, rc.bottom - 3}), tip.Ref());
            tip.ShowWindow(false);
            EXPECT_NE(GetUiBackend().WindowFromPoint({rc.left + 60, rc.top + 15}), tip.Ref());
            tip.DestroyWindow();
            owner.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(DoModalWithin(owner), IDOK);
}

TEST_F(GtkUi, MessagesFromOtherProcessesReachTheWindowThroughTheMainLoop) {
    const std::string strDir =
        (std::filesystem::temp_directory_path() / ("mw-gtk-remote-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(strDir);
    std::filesystem::permissions(strDir, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", strDir.c_str(), 1);
    CProbeDlg dlg(IDD_TRANSFER_DIALOG);
    const std::string strCaption = "Transfer gtk-" + std::to_string(getpid());
    const std::thread::id uiThread = std::this_thread::get_id();
    std::thread::id handlerThread;
    dlg.m_fnOnPost = [&](WPARAM, LPARAM) { handlerThread = std::this_thread::get_id(); };
    CRemoteResult result;
    std::thread sender;
    dlg.m_fnOnInit = [&] {
        dlg.SetCaption(strCaption);
        dlg.ServeRemoteMessages();
        sender = std::thread([&] {
            result = SendRemoteMessage(strCaption, WM_PROBE, 21);
            dlg.GetPost().PostWork(
                [](CUiWindow& wnd) { static_cast<CDialog&>(wnd).EndDialog(IDOK); });
        });
    };
    EXPECT_EQ(DoModalWithin(dlg), IDOK);
    sender.join();
    EXPECT_TRUE(result.Delivered());
    EXPECT_EQ(result.lResult, 42);
    EXPECT_EQ(handlerThread, uiThread);
    std::filesystem::remove_all(strDir);
}

} // namespace
