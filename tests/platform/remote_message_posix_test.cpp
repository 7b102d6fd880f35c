// Tests of the Unix-socket side of messages between processes: a process of another user is
// refused, and a socket left by a killed process is replaced; Linux.
#include "child_process.h"
#include "platform/headless/headless_driver.h"
#include "platform/ui/remote_message.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr unsigned WM_PROBE = WM_USER + 7;
namespace fs = std::filesystem;

class CCountingDlg : public CDialog {
public:
    explicit CCountingDlg(std::string strCaption)
        : CDialog(GetDialogTemplate(IDD_TRANSFER_DIALOG)), m_strCaption(std::move(strCaption)) {
        MapMessage(WM_PROBE, [this](WPARAM, LPARAM) { return static_cast<LRESULT>(++m_nHandled); });
    }
    int m_nHandled = 0;

protected:
    bool OnInitDialog() override {
        SetCaption(m_strCaption);
        ServeRemoteMessages();
        return true;
    }

private:
    std::string m_strCaption;
};

// Runs fn in a child process as the user "nobody"; its exit code, or -1.
template <class F> int AsNobody(F fn) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        ::_exit(fn());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RemoteMessageUnix, AProcessOfAnotherUserIsRefusedEvenWhenItReachesTheSocket) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    mwtest::CPrivateRuntimeDir runtime;
    CHeadlessDriver ui;
    ui.Ui().SetServeRemote(true);
    CCountingDlg dlg("Transfer");
    ui.Then([&] {
        const fs::path folder = fs::path(runtime.Path()) / "marlowick";
        const fs::path socket = folder / "Transfer.sock";
        ASSERT_TRUE(fs::exists(socket));
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
        // Through the interface: the folder is not the other user's, so nothing is sent.
        EXPECT_NE(AsNobody([] { return SendRemoteMessage("Transfer", WM_PROBE).Delivered(); }), 1);
        // Even with the folder and socket opened to everyone, the listener checks who calls.
        ::chmod(runtime.Path().c_str(), 0755);
        ::chmod(folder.c_str(), 0755);
        ::chmod(socket.c_str(), 0777);
        const int nAnswerBytes = AsNobody([&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            // Bounded: an answer can only come once this test's UI thread runs again.
            timeval limit{2, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            const std::string strPath = socket.string();
            if (strPath.size() >= sizeof addr.sun_path)
                return 96;
            std::memcpy(addr.sun_path, strPath.c_str(), strPath.size());
            if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
                return 98;
            // A well-formed request: tag, message, two arguments.
            unsigned char req[24] = {'M', 'W', 'R', '1'};
            req[4] = static_cast<unsigned char>(WM_PROBE & 0xFF);
            req[5] = static_cast<unsigned char>(WM_PROBE >> 8);
            // The listener may close before the request is even written: refused as well.
            if (::send(fd, req, sizeof req, MSG_NOSIGNAL) != sizeof req)
                return 0;
            unsigned char ans[16];
            const ssize_t n = ::recv(fd, ans, sizeof ans, 0);
            return n < 0 ? 0 : static_cast<int>(n);
        });
        EXPECT_EQ(nAnswerBytes, 0); // closed without an answer
        ui.DeliverPosted();
        EXPECT_EQ(dlg.m_nHandled, 0);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(RemoteMessageUnix, ASocketLeftByAKilledProcessIsReplaced) {
    mwtest::CPrivateRuntimeDir runtime;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The killed process: serves the caption, then dies without cleaning up.
        auto pEndpoint = CreateRemoteEndpoint("Transfer", CWindowPost());
        const char ch = pEndpoint ? 1 : 0;
        if (::write(ready[1], &ch, 1) != 1)
            ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char ch = 0;
    ASSERT_EQ(::read(ready[0], &ch, 1), 1);
    ASSERT_EQ(ch, 1);
    EXPECT_TRUE(FindRemoteWindow("Transfer"));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(fs::exists(fs::path(runtime.Path()) / "marlowick" / "Transfer.sock"));
    EXPECT_FALSE(FindRemoteWindow("Transfer"));
    EXPECT_EQ(SendRemoteMessage("Transfer", WM_PROBE).status, CRemoteStatus::NoWindow);

    CHeadlessDriver ui;
    ui.Ui().SetServeRemote(true);
    CCountingDlg dlg("Transfer");
    CRemoteResult result;
    std::thread sender;
    ui.Then([&] {
        sender = std::thread([&] {
            result = SendRemoteMessage("Transfer", WM_PROBE);
            dlg.PostWork([](CUiWindow& wnd) { static_cast<CDialog&>(wnd).EndDialog(IDOK); });
        });
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    sender.join();
    EXPECT_TRUE(result.Delivered());
    EXPECT_EQ(result.lResult, 1);
}

} // namespace
