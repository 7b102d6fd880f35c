// Tests of messages from other processes to a window found by its caption: a helper process sends,
// a headless window answers on its UI thread; portable (runs natively and under Wine).
#include "child_process.h"
#include "platform/headless/headless_driver.h"
#include "platform/ui/remote_message.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

constexpr unsigned WM_PROBE = WM_USER + 7;

// A unique caption per run, so that runs side by side never meet.
std::string UniqueCaption(const char* what) {
    return std::string("Marlowick test ") + what + " " +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::string Helper() {
    return mwtest::ExeDir() + "/remote_send_helper" +
#if defined(_WIN32)
           ".exe";
#else
           "";
#endif
}

// A window that serves its caption and answers WM_PROBE with wParam * 2 + lParam.
class CServingDlg : public CDialog {
public:
    explicit CServingDlg(std::string strCaption)
        : CDialog(GetDialogTemplate(IDD_TRANSFER_DIALOG)), m_strCaption(std::move(strCaption)) {
        MapMessage(WM_PROBE, [this](WPARAM w, LPARAM l) {
            ++m_nHandled;
            m_bOnUiThread = m_bOnUiThread && std::this_thread::get_id() == m_uiThread;
            return static_cast<LRESULT>(w * 2) + l;
        });
    }
    void EndFromAnyThread(int nResult) {
        PostWork([nResult](CUiWindow& wnd) { static_cast<CDialog&>(wnd).EndDialog(nResult); });
    }
    int m_nHandled = 0;
    bool m_bOnUiThread = true;

protected:
    bool OnInitDialog() override {
        SetCaption(m_strCaption);
        ServeRemoteMessages();
        return true;
    }

private:
    std::string m_strCaption;
    std::thread::id m_uiThread = std::this_thread::get_id();
};

class RemoteMessage : public ::testing::Test {
protected:
    RemoteMessage() { m_ui.Ui().SetServeRemote(true); }
    mwtest::CPrivateRuntimeDir m_runtime;
    CHeadlessDriver m_ui;
};

TEST_F(RemoteMessage, AnotherProcessGetsTheHandlersResultAndFindsNoWindowOnceItIsGone) {
    const std::string strCaption = UniqueCaption("window");
    CServingDlg dlg(strCaption);
    std::thread sender;
    int nExit = -1;
    m_ui.Then([&] {
        EXPECT_TRUE(FindRemoteWindow(strCaption));
        EXPECT_FALSE(FindRemoteWindow(strCaption + " other"));
        // The sender waits on the UI thread's answer, so it runs beside the loop.
        sender = std::thread([&] {
            nExit = mwtest::RunChild(
                Helper(), {strCaption, std::to_string(WM_PROBE), "20", "2", "42"}, 30000);
            dlg.EndFromAnyThread(IDOK);
        });
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    sender.join();
    EXPECT_EQ(nExit, 0);
    EXPECT_EQ(dlg.m_nHandled, 1);
    EXPECT_TRUE(dlg.m_bOnUiThread);

    EXPECT_FALSE(FindRemoteWindow(strCaption));
    EXPECT_EQ(
        mwtest::RunChild(Helper(), {strCaption, std::to_string(WM_PROBE), "1", "1", "3"}, 30000),
        10 + static_cast<int>(CRemoteStatus::NoWindow));
}

TEST_F(RemoteMessage, OnlyUserMessagesPassAWaitIsBoundedAndANewCaptionMovesTheName) {
    const std::string strCaption = UniqueCaption("rules");
    const std::string strRenamed = strCaption + " renamed";
    CServingDlg dlg(strCaption);
    std::future<CRemoteResult> late;
    std::thread finisher;
    CRemoteResult moved;
    m_ui.Then([&] {
        // System messages do not cross: the window would close otherwise.
        EXPECT_EQ(SendRemoteMessage(strCaption, WM_CLOSE, 0, 0).status, CRemoteStatus::Failed);
        // One owner per name.
        EXPECT_EQ(CreateRemoteEndpoint(strCaption, dlg.GetPost()), nullptr);
        // The UI thread is busy past the sender's limit: the sender gives up in time, and the
        // message is still handled once the loop runs again.
        late = std::async(std::launch::async, [&] {
            return SendRemoteMessage(strCaption, WM_PROBE, 1, 0, std::chrono::milliseconds(200));
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        EXPECT_EQ(late.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    });
    m_ui.Then([&] {
        EXPECT_EQ(late.get().status, CRemoteStatus::TimedOut);
        dlg.SetCaption(strRenamed);
        EXPECT_FALSE(FindRemoteWindow(strCaption));
        finisher = std::thread([&] {
            moved = SendRemoteMessage(strRenamed, WM_PROBE, 5, 1);
            dlg.EndFromAnyThread(IDOK);
        });
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    finisher.join();
    EXPECT_TRUE(moved.Delivered());
    EXPECT_EQ(moved.lResult, 11);
    EXPECT_EQ(dlg.m_nHandled, 2);
}

} // namespace
