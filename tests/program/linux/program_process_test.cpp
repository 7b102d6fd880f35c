// The program marlowick as built, run as a user runs it under Xvfb: the options that show no
// window, a file sent with confirmation off (the busy dialog, then the closing message, and the
// device has the job), and the queue fed by two Arbolets; what the windows show is read by a
// watcher preloaded into the program (window_watch.cpp). Linux test.
#include "app/settings.h"
#include "child_process.h"
#include "platform/registry.h"
#include "registry_test_scope.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string BinDir() {
    const char* p = std::getenv("MW_BIN_DIR");
    return p ? p : mwtest::ExeDir();
}

std::vector<std::string> Lines(const std::string& strText) {
    std::vector<std::string> lines;
    std::istringstream in(strText);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of the watch log that begin with strPrefix, in order.
std::vector<std::string> LinesStarting(const std::string& strLog, const std::string& strPrefix) {
    std::vector<std::string> out;
    for (const auto& line : Lines(strLog))
        if (line.rfind(strPrefix, 0) == 0)
            out.push_back(line);
    return out;
}

TEST(ProgramOptions, VersionAndHelpShowNoWindowAndWithoutADisplayTheProgramSaysSo) {
    struct Case {
        std::vector<std::string> arrArgs;
        int nExit;
        const char* pszOut;
        const char* pszErr;
    };
    const std::string strProgram = BinDir() + "/marlowick";
    // No display at all: the options must not need one.
    const std::string strDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    ::unsetenv("DISPLAY");
    for (const Case& c : {Case{{strProgram, "--version"}, 0, "marlowick 1.0\n", ""},
                          Case{{strProgram, "--help"}, 0, "Usage: marlowick", ""},
                          Case{{strProgram}, 1, "", "marlowick: cannot open the display"}}) {
        SCOPED_TRACE(c.arrArgs.back());
        const auto result = mwtest::RunProgram(c.arrArgs, 20000);
        EXPECT_EQ(result.nExit, c.nExit) << result.strErr;
        EXPECT_EQ(result.strOut.rfind(c.pszOut, 0), 0u) << result.strOut;
        EXPECT_NE(result.strErr.find(c.pszErr), std::string::npos) << result.strErr;
    }
    if (!strDisplay.empty())
        ::setenv("DISPLAY", strDisplay.c_str(), 1);
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no display (run through with-xvfb)";
        ASSERT_TRUE(m_device.Start()) << m_device.Error();
        ::setenv("XDG_STATE_HOME", (m_device.Root() + "/state-home").c_str(), 1);
        m_strLog = m_device.Root() + "/watch.log";
        CMarlowickSettings s;
        s.m_strIP = "127.0.0.1:" + std::to_string(m_device.HttpPort());
        s.m_strTargetDevice = "mw-test";
        s.m_strUserName = mwtest::CDeviceProcess::kUser;
        s.m_strPassword = mwtest::CDeviceProcess::kPassword;
        s.m_strRootSharelist = mwtest::CDeviceProcess::kShare;
        s.m_nConfirmDialog = 0;
        ASSERT_TRUE(CSettingsStore(*OpenUserRegistry(), kSettingsKey).SaveSettings(s));
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    std::string Torrent(const std::string& strName) {
        const std::string strPath = m_device.Root() + "/files/" + strName + ".torrent";
        fs::create_directories(fs::path(strPath).parent_path());
        mwtest::WriteTorrent(strPath, mwtest::MakeTorrent(strName + ".iso"));
        return strPath;
    }

    // Runs the program with the watcher; the environment names what the watcher does.
    mwtest::CProgramResult RunWatched(const std::vector<std::string>& arrArgs,
                                      const std::vector<std::pair<const char*, std::string>>& env,
                                      int nTimeoutMs) {
        std::vector<std::string> argv = {"env", "LD_PRELOAD=" + BinDir() + "/libmw_window_watch.so",
                                         "MW_WATCH_LOG=" + m_strLog};
        for (const auto& [pszName, strValue] : env)
            argv.push_back(std::string(pszName) + "=" + strValue);
        argv.push_back(BinDir() + "/marlowick");
        argv.insert(argv.end(), arrArgs.begin(), arrArgs.end());
        return mwtest::RunProgram(argv, nTimeoutMs);
    }
    std::string WatchLog() const { return mwtest::ReadFileText(m_strLog); }

    CTestRegistryScope m_scope;
    mwtest::CPrivateRuntimeDir m_runtime;
    mwtest::CDeviceProcess m_device;
    std::string m_strLog;
};

TEST_F(ProgramRun, AFileWithConfirmationOffShowsTheBusyDialogThenTheFinishAndTheDeviceHasTheJob) {
    const std::string strFile = Torrent("sent by the program");
    const auto result = RunWatched({strFile}, {{"MW_WATCH_ANSWER", "1"}}, 60000);
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    const std::string strLog = WatchLog();
    // The settings window never shows: the busy dialog, then the message box, and nothing else.
    EXPECT_EQ(LinesStarting(strLog, "shown"),
              (std::vector<std::string>{"shown\twindow\tBT Download Setting\tFile transferring ...",
                                        "shown\tbox\tBT Download Setting\tFile transfer finish."}))
        << strLog;
    EXPECT_TRUE(fs::exists(m_device.ShareDir() + "/sent by the program.torrent")) << m_device.Log();
    const auto page = mwtest::RunProgram({"curl", "-s", m_device.StatusUrl()}, 10000);
    EXPECT_NE(page.strOut.find("sent by the program.torrent"), std::string::npos) << page.strOut;
}

TEST_F(ProgramRun, TheQueueTakesTwoArboletHandOffsAndAllThreeRowsAreDone) {
    const std::vector<std::string> arrFiles = {Torrent("queued-1"), Torrent("queued-2"),
                                               Torrent("queued-3")};
    mwtest::CProgramResult program;
    std::thread run([&] {
        program = RunWatched({"/Q", arrFiles[0]},
                             {{"MW_WATCH_ANSWER", "1"}, {"MW_WATCH_DONE_ROWS", "3"}}, 120000);
    });
    // Arbolet hands over to the window once it shows, as it does for a double click.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (WatchLog().find("shown\twindow\tTransfer") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(WatchLog().find("shown\twindow\tTransfer"), std::string::npos) << WatchLog();
    for (std::size_t i = 1; i < arrFiles.size(); ++i) {
        const auto handOff = mwtest::RunProgram({BinDir() + "/arbolet", arrFiles[i]}, 60000);
        EXPECT_EQ(handOff.nExit, 0) << handOff.strErr;
    }
    run.join();
    EXPECT_EQ(program.nExit, 0) << program.strErr;
    // The last list the window showed before OK.
    const std::string strLog = WatchLog();
    const auto nLast = strLog.rfind("rows\n");
    ASSERT_NE(nLast, std::string::npos) << strLog;
    const std::string strRows = strLog.substr(nLast + 5, strLog.find("end", nLast) - nLast - 5);
    std::vector<std::string> arrExpected;
    for (const auto& strFile : arrFiles)
        arrExpected.push_back("row\t" + strFile + "\tDone");
    EXPECT_EQ(Lines(strRows), arrExpected) << strLog;
    for (const char* pszName : {"queued-1", "queued-2", "queued-3"})
        EXPECT_TRUE(fs::exists(m_device.ShareDir() + "/" + pszName + ".torrent")) << pszName;
}

} // namespace
