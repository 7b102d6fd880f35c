// Tests of the dialog layer's own logic on the headless backend: dialog units, posting order,
// timers in virtual time, the dialog manager's keys; portable.
#include "platform/headless/headless_driver.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned WM_PROBE = WM_USER + 1;

// A dialog that records what reaches it and ends when told to.
class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(int nTemplate = IDD_TRANSFER_DIALOG)
        : CDialog(GetDialogTemplate(nTemplate)) {
        MapMessage(WM_PROBE, [this](WPARAM w, LPARAM l) {
            m_arrPosts.push_back(static_cast<int>(w));
            if (m_fnOnPost)
                m_fnOnPost(w, l);
            return LRESULT{0};
        });
        MapCommand(IDC_TRANSFER_NEXT, BN_CLICKED, [this] { m_arrCommands.push_back(1032); });
    }
    // Records WM_COMMAND (id, notification) pairs of the given control as "id/notify".
    void RecordCommand(int nId, int nNotify) {
        MapCommand(nId, nNotify, [this, nId, nNotify] {
            m_arrNotified.push_back(std::to_string(nId) + "/" + std::to_string(nNotify));
        });
    }
    std::vector<int> m_arrPosts;
    std::vector<int> m_arrCommands;
    std::vector<std::string> m_arrNotified;
    std::function<CRect(CSizingEdge, const CRect&)> m_fnOnSizing;
    bool m_bSwallowKeys = false;
    bool PreTranslateMessage(const CUiMessage& msg) override {
        return m_bSwallowKeys && msg.nMsg == WM_KEYDOWN;
    }
    std::vector<CSize> m_arrSizes;
    std::vector<std::pair<std::uintptr_t, std::uint64_t>> m_arrTimers; // id, virtual time
    std::function<void(WPARAM, LPARAM)> m_fnOnPost;
    std::function<void(std::uintptr_t)> m_fnOnTimer;
    std::function<void()> m_fnOnInit;

protected:
    bool OnInitDialog() override {
        if (m_fnOnInit)
            m_fnOnInit();
        return true;
    }
    void OnTimer(std::uintptr_t nId) override {
        m_arrTimers.emplace_back(nId, GetUiBackend().GetTickCount());
        if (m_fnOnTimer)
            m_fnOnTimer(nId);
    }
    CRect OnSizing(CSizingEdge edge, const CRect& rcProposed) override {
        return m_fnOnSizing ? m_fnOnSizing(edge, rcProposed) : rcProposed;
    }
    void OnSize(int cx, int cy) override { m_arrSizes.push_back({cx, cy}); }
};

TEST(DialogUnits, BaseUnitsAndRoundingFollowTheDialogManager) {
    struct Case {
        int nExtent, nHeight, cx, cy;
    };
    // (extent / 26 + 1) / 2 across, the character height down.
    for (const Case c : {Case{312, 13, 6, 13}, Case{286, 13, 6, 13}, Case{337, 13, 6, 13},
                         Case{338, 16, 7, 16}, Case{416, 16, 8, 16}}) {
        const auto base = CDialogBaseUnits::FromFontMetrics(c.nExtent, c.nHeight);
        EXPECT_EQ(base.cx, c.cx) << c.nExtent;
        EXPECT_EQ(base.cy, c.cy) << c.nExtent;
    }
    // Halves round away from zero.
    EXPECT_EQ(UiMulDiv(7, 6, 4), 11);   // 10.5
    EXPECT_EQ(UiMulDiv(-7, 6, 4), -11); // -10.5
    EXPECT_EQ(UiMulDiv(110, 13, 8), 179);
    EXPECT_EQ(UiMulDiv(1, 13, 8), 2);
    EXPECT_EQ(UiMulDiv(5, 1, 0), 0);
}

TEST(DialogUnits, TemplatesBecomeExactPixelsInHeadless) {
    CHeadlessDriver ui;
    // MS Sans Serif 8: 6 x 13 base units. The list box at 7, 25, 153 x 110 dialog units.
    CProbeDlg main(IDD_MARLOWICK_DIALOG);
    ui.Then([&] {
        const int f = CHeadlessUi::kFrame;
        const int c = CHeadlessUi::kCaption;
        EXPECT_EQ(main.GetWindowRect(), (CRect{0, 0, 1055 + 2 * f, 541 + 2 * f + c}));
        EXPECT_EQ(main.GetClientRect(), (CRect{0, 0, 1055, 541}));
        EXPECT_EQ(main.GetItemRect(IDC_DEVICE_LIST), CRect::FromXywh(11 + f, 41 + f + c, 230, 179));
        main.EndDialog(IDOK);
    });
    EXPECT_EQ(main.DoModal(), IDOK);

    // MS Shell Dlg 8 (6 x 13) and System 10 (8 x 16).
    CProbeDlg transfer(IDD_TRANSFER_DIALOG);
    ui.Then([&] {
        EXPECT_EQ(transfer.GetClientRect(), (CRect{0, 0, 236, 283}));
        const CRect rc = transfer.GetItemRect(IDC_TRANSFER_LIST);
        EXPECT_EQ(rc.Width(), 213);
        transfer.EndDialog(IDOK);
    });
    EXPECT_EQ(transfer.DoModal(), IDOK);
    CProbeDlg busy(IDD_BUSY_DIALOG);
    ui.Then([&] {
        EXPECT_EQ(busy.GetClientRect(), (CRect{0, 0, 214, 60}));
        busy.EndDialog(IDOK);
    });
    EXPECT_EQ(busy.DoModal(), IDOK);
}

TEST(Posting, PostsFromSeveralThreadsArriveInOrderOnTheUiThread) {
    CHeadlessDriver ui;
    CProbeDlg dlg;
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    const std::thread::id uiThread = std::this_thread::get_id();
    bool bAllOnUiThread = true;
    dlg.m_fnOnPost = [&](WPARAM, LPARAM) {
        bAllOnUiThread = bAllOnUiThread && std::this_thread::get_id() == uiThread;
        if (dlg.m_arrPosts.size() == kThreads * kEach)
            dlg.EndDialog(IDOK);
    };
    dlg.m_fnOnInit = [&] {
        // The posters start while the dialog runs and hold only the handle.
        const CWindowPost post = dlg.GetPost();
        for (int t = 0; t < kThreads; ++t)
            posters.emplace_back([post, t] {
                for (int i = 0; i < kEach; ++i)
                    post.Post(WM_PROBE, static_cast<WPARAM>(t * 100000 + i));
            });
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    for (auto& t : posters)
        t.join();
    EXPECT_FALSE(ui.Stalled());
    EXPECT_TRUE(bAllOnUiThread);
    ASSERT_EQ(dlg.m_arrPosts.size(), static_cast<std::size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (int v : dlg.m_arrPosts) {
        const int t = v / 100000;
        ASSERT_EQ(v % 100000, next[static_cast<std::size_t>(t)]) << "thread " << t;
        ++next[static_cast<std::size_t>(t)];
    }
}

TEST(Posting, PostsKeepTheirOrderAndPostsToAGoneWindowAreDropped) {
    CHeadlessDriver ui;
    CWindowPost kept;
    {
        CProbeDlg dlg;
        dlg.m_fnOnInit = [&] {
            dlg.Post(WM_PROBE, 1);
            dlg.Post(WM_PROBE, 2);
            dlg.PostCommand(IDC_TRANSFER_NEXT);
            kept = dlg.GetPost();
        };
        // A post made by a handler goes behind the ones already queued.
        dlg.m_fnOnPost = [&](WPARAM w, LPARAM) {
            if (w == 1)
                dlg.Post(WM_PROBE, 3);
            if (w == 3)
                dlg.EndDialog(IDCANCEL);
        };
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_EQ(dlg.m_arrPosts, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(dlg.m_arrCommands, (std::vector<int>{1032}));
        // Ended: a post from a worker that still holds the handle goes nowhere.
        std::thread([kept] { kept.Post(WM_PROBE, 9); }).join();
        EXPECT_EQ(ui.DeliverPosted(), 1);
        EXPECT_EQ(dlg.m_arrPosts.size(), 3u);
    }
    // The window object is gone as well.
    EXPECT_TRUE(kept.Post(WM_PROBE, 10));
    EXPECT_EQ(ui.DeliverPosted(), 1);
}

TEST(Posting, WorkRunsInOrderWithMessagesAndIsDroppedUnrunWithItsWindow) {
    CHeadlessDriver ui;
    CWindowPost kept;
    auto pOwned = std::make_shared<int>(0);
    {
        CProbeDlg dlg;
        std::vector<std::string> arrOrder;
        std::thread worker;
        dlg.m_fnOnPost = [&](WPARAM w, LPARAM) { arrOrder.push_back("msg " + std::to_string(w)); };
        dlg.m_fnOnInit = [&] {
            // A worker alternates messages and work; each lands in the order it was posted.
            worker = std::thread([post = dlg.GetPost(), &arrOrder] {
                for (int i = 0; i < 200; ++i) {
                    post.Post(WM_PROBE, static_cast<WPARAM>(i));
                    post.PostWork([i, &arrOrder](CUiWindow&) {
                        arrOrder.push_back("work " + std::to_string(i));
                    });
                }
                post.PostWork([](CUiWindow& wnd) { static_cast<CDialog&>(wnd).EndDialog(IDOK); });
            });
            kept = dlg.GetPost();
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        worker.join();
        ASSERT_EQ(arrOrder.size(), 400u);
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(arrOrder[static_cast<std::size_t>(2 * i)], "msg " + std::to_string(i));
            EXPECT_EQ(arrOrder[static_cast<std::size_t>(2 * i + 1)], "work " + std::to_string(i));
        }
    }
    // The window is gone: work posted to it never runs, and what it owned is released.
    bool bRan = false;
    std::thread([kept, pOwned, &bRan] {
        kept.PostWork([pOwned, &bRan](CUiWindow&) { bRan = true; });
    }).join();
    EXPECT_EQ(pOwned.use_count(), 2);
    EXPECT_EQ(ui.DeliverPosted(), 1);
    EXPECT_FALSE(bRan);
    EXPECT_EQ(pOwned.use_count(), 1);
}

TEST(ModalLoop, ANestedDialogsLoopServesTheOuterWindowAndLeavesItsStepsAlone) {
    CHeadlessDriver ui;
    CProbeDlg outer(IDD_MARLOWICK_DIALOG);
    CProbeDlg inner(IDD_BUSY_DIALOG);
    std::vector<std::string> arrOrder;
    std::thread worker;
    // The outer window opens the inner one from a posted command, as a window starts a busy
    // dialog from a handler; posts to the outer window arrive while the inner one runs, and the
    // inner one waits for a worker meanwhile.
    outer.m_fnOnInit = [&] { outer.Post(WM_PROBE, 1); };
    outer.m_fnOnPost = [&](WPARAM w, LPARAM) {
        arrOrder.push_back("outer " + std::to_string(w));
        if (w == 1) {
            EXPECT_EQ(inner.DoModal(), IDOK);
            arrOrder.push_back("inner ended");
        }
    };
    inner.m_fnOnInit = [&] {
        outer.Post(WM_PROBE, 2);
        worker = std::thread([post = inner.GetPost()] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            post.Post(WM_PROBE, 3);
        });
    };
    inner.m_fnOnPost = [&](WPARAM w, LPARAM) {
        arrOrder.push_back("inner " + std::to_string(w));
        EXPECT_EQ(ui.ActiveDialog(), &inner);
        inner.EndDialog(IDOK);
    };
    // Scripted for the outer window: it must not run while the inner one waits.
    ui.Then(outer, [&] {
        EXPECT_EQ(ui.ActiveDialog(), &outer);
        arrOrder.push_back("outer step");
        outer.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
    worker.join();
    EXPECT_EQ(arrOrder, (std::vector<std::string>{"outer 1", "outer 2", "inner 3", "inner ended",
                                                  "outer step"}));
}

TEST(Timers, FireInVirtualTimeInDueOrder) {
    CHeadlessDriver ui;
    CProbeDlg dlg;
    dlg.m_fnOnInit = [&] {
        dlg.SetTimer(1, 100);
        dlg.SetTimer(2, 250);
    };
    dlg.m_fnOnTimer = [&](std::uintptr_t nId) {
        if (nId == 2 && ui.GetTickCount() == 500)
            dlg.KillTimer(1);
    };
    ui.Then([&] {
        EXPECT_TRUE(dlg.m_arrTimers.empty());
        ui.Advance(99);
        EXPECT_TRUE(dlg.m_arrTimers.empty());
        ui.Advance(701); // to 800
    });
    ui.Then([&] {
        // Setting a running id again restarts it with the new period.
        dlg.SetTimer(2, 1000);
        ui.Advance(999);
        ui.Advance(1);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    using T = std::pair<std::uintptr_t, std::uint64_t>;
    EXPECT_EQ(dlg.m_arrTimers, (std::vector<T>{{1, 100},
                                               {1, 200},
                                               {2, 250},
                                               {1, 300},
                                               {1, 400},
                                               {1, 500},
                                               {2, 500},
                                               {2, 750},
                                               {2, 1800}}));
    // The window is gone, and so are its timers.
    ui.Advance(10000);
    EXPECT_EQ(dlg.m_arrTimers.size(), 9u);
}

TEST(DialogManager, KeysCloseBoxAndClicksReachTheRightCommand) {
    CHeadlessDriver ui;
    struct Case {
        const char* name;
        std::function<bool(CProbeDlg&)> act;
        int nExpected;
    };
    const std::vector<Case> cases = {
        {"escape", [&](CProbeDlg&) { return ui.PressEscape(); }, IDCANCEL},
        {"enter presses the default button", [&](CProbeDlg&) { return ui.PressEnter(); }, IDOK},
        {"close box", [&](CProbeDlg&) { return ui.CloseWindow(); }, IDCANCEL},
        {"click cancel", [&](CProbeDlg&) { return ui.Click(IDCANCEL); }, IDCANCEL},
    };
    for (const auto& c : cases) {
        CProbeDlg dlg;
        ui.Then([&] { EXPECT_TRUE(c.act(dlg)) << c.name; });
        EXPECT_EQ(dlg.DoModal(), c.nExpected) << c.name;
    }

    // What a user cannot reach does nothing: a hidden or disabled button, Enter on a disabled
    // default button, the close box with Cancel disabled.
    CProbeDlg dlg;
    ui.Then([&] {
        dlg.EnableItem(IDOK, false);
        EXPECT_FALSE(ui.PressEnter());
        dlg.EnableItem(IDCANCEL, false);
        EXPECT_TRUE(ui.CloseWindow());
        EXPECT_TRUE(ui.IsRunning(dlg));
        dlg.ShowItem(IDC_TRANSFER_NEXT, false);
        EXPECT_FALSE(ui.Click(IDC_TRANSFER_NEXT));
        dlg.ShowItem(IDC_TRANSFER_NEXT, true);
        EXPECT_TRUE(ui.Click(IDC_TRANSFER_NEXT));
        // The focused push button takes Enter, even with the default button disabled.
        EXPECT_EQ(dlg.GetFocusItem(), IDC_TRANSFER_NEXT);
        EXPECT_TRUE(ui.PressEnter());
        dlg.EndDialog(7);
    });
    EXPECT_EQ(dlg.DoModal(), 7);
    EXPECT_EQ(dlg.m_arrCommands, (std::vector<int>{1032, 1032}));
}

TEST(DialogManager, ChangesFromCodeNotifyOnlyWhereTheDialogManagerDoes) {
    CHeadlessDriver ui;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    for (auto [nId, nNotify] :
         {std::pair{IDC_USERNAME, EN_CHANGE}, std::pair{IDC_CONFIRM_DIALOG, BN_CLICKED},
          std::pair{IDC_DEVICE_LIST, LBN_SELCHANGE}})
        dlg.RecordCommand(nId, nNotify);
    const std::string strEdit = std::to_string(IDC_USERNAME) + "/" + std::to_string(EN_CHANGE);
    ui.Then([&] {
        // From code: an edit box reports its new text; check marks, list lines and selections,
        // and other controls' texts report nothing.
        dlg.SetItemText(IDC_USERNAME, "admin");
        dlg.SetItemText(IDC_STATIC_ACCOUNT, "Account name:");
        dlg.CheckDlgButton(IDC_CONFIRM_DIALOG, 1);
        dlg.LbAddString(IDC_DEVICE_LIST, "NAS");
        dlg.LbSetCurSel(IDC_DEVICE_LIST, 0);
        EXPECT_EQ(dlg.m_arrNotified, (std::vector<std::string>{strEdit}));
        // From the user: each reports.
        dlg.m_arrNotified.clear();
        EXPECT_TRUE(ui.Type(IDC_USERNAME, "root"));
        EXPECT_TRUE(ui.Click(IDC_CONFIRM_DIALOG));
        EXPECT_TRUE(ui.SelectLine(IDC_DEVICE_LIST, 0));
        EXPECT_EQ(
            dlg.m_arrNotified,
            (std::vector<std::string>{
                strEdit, std::to_string(IDC_CONFIRM_DIALOG) + "/" + std::to_string(BN_CLICKED),
                std::to_string(IDC_DEVICE_LIST) + "/" + std::to_string(LBN_SELCHANGE)}));
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CONFIRM_DIALOG), 0);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(DialogManager, TheKeyboardRuleIsTheDialogsOwnForEveryBackend) {
    CHeadlessDriver ui;
    CProbeDlg dlg(IDD_TRANSFER_DIALOG);
    dlg.RecordCommand(IDOK, BN_CLICKED);
    dlg.RecordCommand(IDCANCEL, BN_CLICKED);
    dlg.RecordCommand(IDC_TRANSFER_NEXT, BN_CLICKED);
    auto cmd = [](int nId) { return std::to_string(nId) + "/" + std::to_string(BN_CLICKED); };
    ui.Then([&] {
        // What a backend hands over: the key, with the focus wherever it is.
        dlg.SetFocusItem(IDC_TRANSFER_LIST);
        EXPECT_TRUE(dlg.HandleDialogKey(VK_RETURN)); // the default button
        dlg.SetFocusItem(IDC_TRANSFER_NEXT);
        EXPECT_TRUE(dlg.HandleDialogKey(VK_RETURN)); // the focused push button
        EXPECT_TRUE(dlg.HandleDialogKey(VK_ESCAPE));
        EXPECT_FALSE(dlg.HandleDialogKey('A'));
        dlg.SetFocusItem(IDC_TRANSFER_LIST);
        dlg.EnableItem(IDOK, false);
        EXPECT_FALSE(dlg.HandleDialogKey(VK_RETURN));
        // PreTranslateMessage sees the key first and may keep it.
        dlg.m_bSwallowKeys = true;
        EXPECT_TRUE(dlg.HandleDialogKey(VK_ESCAPE));
        EXPECT_EQ(dlg.m_arrNotified,
                  (std::vector<std::string>{cmd(IDOK), cmd(IDC_TRANSFER_NEXT), cmd(IDCANCEL)}));
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Sizing, TheWindowTakesTheRectangleItsOnSizingAnswers) {
    CHeadlessDriver ui;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    std::vector<CSizingEdge> arrEdges;
    dlg.m_fnOnSizing = [&](CSizingEdge edge, const CRect& rc) {
        arrEdges.push_back(edge);
        return CRect{rc.left, rc.top, rc.left + std::max(rc.Width(), 270), rc.top + 572};
    };
    ui.Then([&] {
        EXPECT_EQ(dlg.AcceptSizing(CSizingEdge::Right, {10, 20, 110, 120}),
                  (CRect{10, 20, 280, 592}));
        EXPECT_TRUE(ui.DragBorder(CSizingEdge::BottomRight, {0, 0, 400, 300}));
        EXPECT_EQ(dlg.GetWindowRect(), (CRect{0, 0, 400, 572}));
        const int f = CHeadlessUi::kFrame;
        ASSERT_EQ(dlg.m_arrSizes.size(), 1u);
        EXPECT_EQ(dlg.m_arrSizes[0], (CSize{400 - 2 * f, 572 - 2 * f - CHeadlessUi::kCaption}));
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(arrEdges, (std::vector<CSizingEdge>{CSizingEdge::Right, CSizingEdge::BottomRight}));
}

TEST(DialogManager, ControlsMessageBoxesAndWindowUnderAPoint) {
    CHeadlessDriver ui;
    CProbeDlg dlg(IDD_MARLOWICK_DIALOG);
    ui.AnswerMessageBox(IDNO);
    ui.Then([&] {
        // Check boxes toggle on a click; read-only edits refuse typing.
        EXPECT_TRUE(ui.Click(IDC_CONFIRM_DIALOG));
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CONFIRM_DIALOG), 1);
        dlg.SetItemReadOnly(IDC_TARGET_DEVICE, true);
        EXPECT_FALSE(ui.Type(IDC_TARGET_DEVICE, "x"));
        EXPECT_TRUE(ui.Type(IDC_USERNAME, "admin"));
        EXPECT_EQ(dlg.GetItemText(IDC_USERNAME), "admin");

        // The sorted list box sorts AddString, not InsertString.
        dlg.LbAddString(IDC_DEVICE_LIST, "beta");
        dlg.LbAddString(IDC_DEVICE_LIST, "Alpha");
        dlg.LbInsertString(IDC_DEVICE_LIST, 0, "zulu");
        EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 0), "zulu");
        EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 1), "Alpha");
        EXPECT_EQ(dlg.LbGetText(IDC_DEVICE_LIST, 2), "beta");

        // Group boxes are transparent: the edit inside the settings box is found.
        const CRect rcEdit = dlg.GetItemRect(IDC_USERNAME);
        EXPECT_EQ(ui.WindowFromPoint({rcEdit.left + 1, rcEdit.top + 1}), dlg.Ref(IDC_USERNAME));
        const CRect rcBox = dlg.GetItemRect(IDC_SETTINGS_BOX);
        EXPECT_EQ(ui.WindowFromPoint({rcBox.left + 2, rcBox.top + 2}), dlg.Ref());
        EXPECT_FALSE(ui.WindowFromPoint({5000, 5000}));

        EXPECT_EQ(dlg.ShowMessageBox("Question?", "Caption", MB_YESNO), IDNO);
        EXPECT_EQ(dlg.ShowMessageBox("Done.", "Caption"), IDOK);
        ui.AnswerFolderBrowser("\\\\NAS\\Download\\bt");
        EXPECT_EQ(GetUiBackend().BrowseForFolder(&dlg, "Pick", "\\\\NAS", {}),
                  std::optional<std::string>("\\\\NAS\\Download\\bt"));
        EXPECT_EQ(GetUiBackend().BrowseForFolder(&dlg, "Pick", "\\\\NAS", {}), std::nullopt);
        EXPECT_EQ(ui.FolderBrowsers().size(), 2u);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_EQ(ui.MessageBoxes().size(), 2u);
    EXPECT_EQ(ui.MessageBoxes()[0].strText, "Question?");
    EXPECT_EQ(ui.MessageBoxes()[0].strOwnerCaption, "BT Download Setting");
    EXPECT_EQ(ui.MessageBoxes()[0].nAnswer, IDNO);
    EXPECT_EQ(ui.MessageBoxes()[1].nAnswer, IDOK);
}

class CProbePopup : public CPopupWindow {
public:
    std::vector<std::uint64_t> m_arrFired;
    bool OnPaint(CPaintSurface& surface) override {
        surface.FillRegion(m_shape, CSysColor::Window);
        surface.DrawTextIn({12, 10, 124, 33}, "tip", CUiFont::DefaultGui);
        return true;
    }
    CRegionShape m_shape{{0, 0, 124, 33}, {12, 10}, {{112, 23}, {112, 48}, {87, 23}}};

protected:
    void OnTimer(std::uintptr_t) override { m_arrFired.push_back(GetUiBackend().GetTickCount()); }
};

TEST(Popup, AShapedPopupShowsWhereToldPaintsAndKeepsItsTimersUntilDestroyed) {
    CHeadlessDriver ui;
    CProbeDlg owner;
    CProbePopup tip;
    ui.Then([&] {
        ASSERT_TRUE(tip.CreatePopup(&owner));
        EXPECT_FALSE(tip.IsWindowVisible());
        tip.SetRegion(tip.m_shape);
        tip.ShowAt(CRect::FromXywh(400, 300, 124, 58));
        EXPECT_TRUE(tip.IsWindowVisible());
        EXPECT_TRUE(ui.IsTopmost(tip));
        EXPECT_EQ(ui.RegionOf(tip), tip.m_shape);
        EXPECT_EQ(tip.GetWindowRect(), CRect::FromXywh(400, 300, 124, 58));
        EXPECT_EQ(ui.WindowFromPoint({410, 310}), tip.Ref());

        const auto ops = ui.Paint(tip);
        ASSERT_EQ(ops.size(), 2u);
        EXPECT_EQ(ops[0].kind, CPaintOp::Kind::Fill);
        EXPECT_EQ(ops[1].rc, (CRect{12, 10, 124, 33}));
        EXPECT_EQ(ui.MeasureText("abc\nde", CUiFont::DefaultGui), (CSize{18, 26}));

        tip.SetTimer(100, 500);
        ui.Advance(1000);
        tip.ShowWindow(false);
        EXPECT_NE(ui.WindowFromPoint({410, 310}), tip.Ref());
        tip.DestroyWindow();
        ui.Advance(1000);
        owner.EndDialog(IDOK);
    });
    EXPECT_EQ(owner.DoModal(), IDOK);
    EXPECT_EQ(tip.m_arrFired, (std::vector<std::uint64_t>{500, 1000}));
}

TEST(ModalLoop, ADialogNobodyEndsStallsInsteadOfHanging) {
    CHeadlessDriver ui;
    ui.SetStallLimit(std::chrono::milliseconds(50));
    CProbeDlg dlg;
    EXPECT_EQ(dlg.DoModal(), CHeadlessDriver::kStalledResult);
    EXPECT_TRUE(ui.Stalled());
}

} // namespace
