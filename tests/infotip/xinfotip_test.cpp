// The balloon info-tip on the headless backend: its shape and place, the delay in virtual time,
// the hide rules and its painting; portable.
#include "infotip/xinfotip.h"
#include "platform/headless/headless_driver.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

namespace {

// A window that hands its input to a tip, as the main window does.
class CTipOwnerDlg : public CDialog {
public:
    CTipOwnerDlg() : CDialog(GetDialogTemplate(IDD_MARLOWICK_DIALOG)) {}
    CXInfoTip m_tip;

protected:
    bool OnInitDialog() override {
        m_tip.Create(this);
        return true;
    }
    bool PreTranslateMessage(const CUiMessage& msg) override {
        m_tip.RelayEvent(msg);
        return false;
    }
};

class InfoTipTest : public ::testing::Test {
protected:
    CHeadlessDriver m_ui;
    CTipOwnerDlg m_dlg;

    CPoint Inside(int nId, int dx = 5, int dy = 5) {
        const CRect rc = m_dlg.GetItemRect(nId);
        return {rc.left + dx, rc.top + dy};
    }
    void Run(std::function<void()> fnSteps) {
        m_ui.Then([this, fnSteps] {
            fnSteps();
            m_dlg.EndDialog(IDOK);
        });
        EXPECT_EQ(m_dlg.DoModal(), IDOK);
    }
};

TEST_F(InfoTipTest, ATextOf100By13GivesTheBalloonWithItsTailPointOnTheCursor) {
    m_ui.Ui().SetUiFontCell({10, 13}); // ten characters measure 100 x 13
    Run([&] {
        m_dlg.m_tip.AddTool(m_dlg.Ref(IDC_DESTINATION), "0123456789");
        const CPoint pt = Inside(IDC_DESTINATION);
        m_ui.MoveCursor(pt);
        m_ui.Advance(500);
        ASSERT_TRUE(m_dlg.m_tip.IsWindowVisible());
        EXPECT_TRUE(m_ui.IsTopmost(m_dlg.m_tip));
        EXPECT_EQ(m_dlg.m_tip.GetWindowRect(), CRect::FromXywh(pt.x - 112, pt.y - 48, 124, 58));
        const CRegionShape shape = m_ui.RegionOf(m_dlg.m_tip);
        EXPECT_EQ(shape.rcRound, (CRect{0, 0, 124, 33}));
        EXPECT_EQ(shape.sizeCorner, (CSize{12, 10}));
        EXPECT_EQ(shape.polygon, (std::vector<CPoint>{{112, 23}, {112, 48}, {87, 23}}));

        // What it paints: the fill, a 3 x 3 and a 1 x 1 frame, the text at 12, 10.
        const auto ops = m_ui.Paint(m_dlg.m_tip);
        ASSERT_EQ(ops.size(), 4u);
        EXPECT_EQ(ops[0].kind, CPaintOp::Kind::Fill);
        EXPECT_EQ(ops[0].color, CSysColor::Window);
        EXPECT_EQ(ops[1].kind, CPaintOp::Kind::Frame);
        EXPECT_EQ(ops[1].color, CSysColor::ScrollBar);
        EXPECT_EQ(ops[1].size, (CSize{3, 3}));
        EXPECT_EQ(ops[2].color, CSysColor::WindowText);
        EXPECT_EQ(ops[2].size, (CSize{1, 1}));
        EXPECT_EQ(ops[3].kind, CPaintOp::Kind::Text);
        EXPECT_EQ(ops[3].strText, "0123456789");
        EXPECT_EQ(ops[3].rc, (CRect{12, 10, 124, 58}));
    });
}

TEST_F(InfoTipTest, ItShowsHalfASecondAfterTheLastMoveAndFollowsTheCursor) {
    Run([&] {
        m_dlg.m_tip.AddTool(m_dlg.Ref(IDC_DESTINATION), "old");
        m_dlg.m_tip.AddTool(m_dlg.Ref(IDC_DESTINATION), "Share\\Movies"); // the second stays
        m_ui.MoveCursor(Inside(IDC_DESTINATION));
        m_ui.Advance(300);
        m_ui.MoveCursor(Inside(IDC_DESTINATION, 8)); // the wait starts again
        m_ui.Advance(499);
        EXPECT_FALSE(m_dlg.m_tip.IsWindowVisible());
        m_ui.Advance(1);
        EXPECT_TRUE(m_dlg.m_tip.IsWindowVisible());
        EXPECT_EQ(m_dlg.m_tip.m_strTip, "Share\\Movies");
        EXPECT_EQ(m_dlg.m_tip.m_ptTip, Inside(IDC_DESTINATION, 8));
        // A move that keeps the cursor on the anchor changes nothing.
        m_ui.MoveCursor(Inside(IDC_DESTINATION, 8));
        m_ui.Advance(1000);
        EXPECT_TRUE(m_dlg.m_tip.IsWindowVisible());
    });
}

TEST_F(InfoTipTest, MovesOffClicksAndTheHideCheckHideIt) {
    Run([&] {
        m_dlg.m_tip.AddTool(m_dlg.Ref(IDC_TARGET_DEVICE), "NAS-A");
        int nDx = 2;
        auto show = [&] {
            // Each time at a new point: a move onto the old anchor is no move.
            m_ui.MoveCursor(Inside(IDC_TARGET_DEVICE, ++nDx));
            m_ui.Advance(500);
            ASSERT_TRUE(m_dlg.m_tip.IsWindowVisible());
        };
        // Off to an unregistered spot: hidden at the first move.
        show();
        m_ui.MoveCursor(Inside(IDC_USERNAME));
        EXPECT_FALSE(m_dlg.m_tip.IsWindowVisible());
        // A button press of any kind.
        for (unsigned nButton : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
            show();
            m_ui.PressMouse(nButton);
            EXPECT_FALSE(m_dlg.m_tip.IsWindowVisible()) << nButton;
        }
        // The cursor leaves without the window seeing it (onto another program): the hide check
        // notices within its 500 ms.
        show();
        m_ui.Ui().SetCursorPos({5000, 5000});
        m_ui.Advance(500);
        EXPECT_FALSE(m_dlg.m_tip.IsWindowVisible());
        // Removed: the control shows nothing any more.
        m_dlg.m_tip.RemoveTool(m_dlg.Ref(IDC_TARGET_DEVICE));
        m_ui.MoveCursor(Inside(IDC_TARGET_DEVICE, 20));
        m_ui.Advance(1000);
        EXPECT_FALSE(m_dlg.m_tip.IsWindowVisible());
    });
}

TEST_F(InfoTipTest, LeavingBeforeTheDelayEndsCancelsTheShow) {
    Run([&] {
        m_dlg.m_tip.AddTool(m_dlg.Ref(IDC_DESTINATION), "Share");
        m_ui.MoveCursor(Inside(IDC_DESTINATION));
        m_ui.Advance(200);
        m_ui.MoveCursor(Inside(IDC_USERNAME));
        // No tip pops up where the cursor was.
        for (int i = 0; i < 4; ++i) {
            m_ui.Advance(200);
            EXPECT_FALSE(m_dlg.m_tip.IsWindowVisible()) << i;
        }
    });
}

} // namespace
