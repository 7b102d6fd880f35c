// The single-instance guard between processes: refused while held, free after exit or kill; Linux
// tests.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A helper process that holds the guard until its standard input closes.
struct CHolder {
    pid_t pid = -1;
    int nStdin = -1;
    int nStdout = -1;
};

CHolder Spawn(const char* mode) {
    int in[2], out[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const char* argv[] = {MW_INSTANCE_HELPER, mode, nullptr};
    CHolder h;
    EXPECT_EQ(::posix_spawn(&h.pid, MW_INSTANCE_HELPER, &actions, nullptr,
                            const_cast<char* const*>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    h.nStdin = in[1];
    h.nStdout = out[0];
    return h;
}

// The helper's first line ("held" or "refused"); blocks until it has decided.
std::string FirstLine(const CHolder& h) {
    std::string line;
    char c;
    while (::read(h.nStdout, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

int Wait(CHolder& h) {
    ::close(h.nStdin);
    ::close(h.nStdout);
    int status = 0;
    EXPECT_EQ(::waitpid(h.pid, &status, 0), h.pid);
    return status;
}

// Whether a fresh process would be refused now.
bool Refused() {
    CHolder h = Spawn("try");
    const auto line = FirstLine(h);
    Wait(h);
    EXPECT_TRUE(line == "held" || line == "refused") << line;
    return line == "refused";
}

class SingleInstanceProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "mw-runtime-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_strDir = tmpl;
        ::setenv("XDG_RUNTIME_DIR", m_strDir.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_strDir, ec);
    }
    std::string m_strDir;
};

TEST_F(SingleInstanceProcessTest, LockFileNameDerivesFromTheMutexName) {
    EXPECT_EQ(GetInstanceLockPath(kSingleInstanceMutexName),
              m_strDir + "/%7BOmbrel-LM42-BT-Download-Setting%7D.lock");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", m_strDir.c_str(), 1);
    EXPECT_EQ(GetInstanceLockPath("{a/b}"),
              m_strDir + "/%7Ba%2Fb%7D-" + std::to_string(::getuid()) + ".lock");
    ::unsetenv("TMPDIR");
}

TEST_F(SingleInstanceProcessTest, RefusedWhileHeldFreeAfterExitAndAfterKill) {
    EXPECT_FALSE(Refused());

    CHolder first = Spawn("hold");
    ASSERT_EQ(FirstLine(first), "held");
    EXPECT_TRUE(Refused());
    int status = Wait(first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(Refused()) << "free again after a normal exit";

    CHolder killed = Spawn("hold");
    ASSERT_EQ(FirstLine(killed), "held");
    EXPECT_TRUE(Refused());
    ASSERT_EQ(::kill(killed.pid, SIGKILL), 0);
    status = Wait(killed);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(Refused()) << "free again after the holder was killed";

    // This process holds it: others are refused; it does not leak into the helpers it starts.
    {
        CLimitSingleInstance guard(kSingleInstanceMutexName);
        ASSERT_FALSE(guard.IsAnotherInstanceRunning());
        EXPECT_TRUE(Refused());
    }
    EXPECT_FALSE(Refused());
}

} // namespace
