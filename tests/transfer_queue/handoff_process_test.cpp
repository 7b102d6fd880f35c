// Hand-offs between processes: fifty Arbolets started at once give their files to the program's
// queue (running already, or started by the first of them), and the reference device records each
// file once; Linux test, with the real settings file, upload and messages between processes.
#include "app/settings.h"
#include "child_process.h"
#include "platform/registry.h"
#include "registry_test_scope.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 50;

class HandOffProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_device.Start()) << m_device.Error();
        ::setenv("XDG_STATE_HOME", (m_device.Root() + "/state-home").c_str(), 1);
        // Long enough that a hand-off slowed by a loaded machine still finds the queue open.
        ::setenv("MW_QUEUE_IDLE_EXIT", "10", 1);
        // The program and Arbolet side by side, as installed: Arbolet starts the program beside it.
        m_strBin = m_device.Root() + "/bin";
        fs::create_directories(m_strBin);
        const std::string strBuilt = mwtest::ExeDir();
        fs::copy_file(strBuilt + "/arbolet", m_strBin + "/arbolet");
        fs::copy_file(strBuilt + "/queue_program", m_strBin + "/marlowick");
        CMarlowickSettings s;
        s.m_strIP = "127.0.0.1:" + std::to_string(m_device.HttpPort());
        s.m_strUserName = mwtest::CDeviceProcess::kUser;
        s.m_strPassword = mwtest::CDeviceProcess::kPassword;
        s.m_strRootSharelist = "public\\queued";
        s.m_nConfirmDialog = 0;
        auto pRegistry = OpenUserRegistry();
        ASSERT_TRUE(CSettingsStore(*pRegistry, kSettingsKey).SaveSettings(s));
        for (int i = 0; i < kFiles; ++i) {
            const std::string strPath =
                m_device.Root() + "/files/f" + std::to_string(i) + ".torrent";
            fs::create_directories(fs::path(strPath).parent_path());
            mwtest::WriteTorrent(strPath, mwtest::MakeTorrent("handoff-" + std::to_string(i)));
            m_arrFiles.push_back(strPath);
        }
    }
    void TearDown() override {
        ::unsetenv("XDG_STATE_HOME");
        ::unsetenv("MW_QUEUE_IDLE_EXIT");
    }

    // Every Arbolet at once, each with its own file; their exit codes.
    std::vector<int> RunArbolets() {
        std::vector<int> arrExit(kFiles, -1);
        std::vector<std::thread> threads;
        for (int i = 0; i < kFiles; ++i)
            threads.emplace_back([&, i] {
                arrExit[static_cast<std::size_t>(i)] =
                    mwtest::RunProgram(
                        {m_strBin + "/arbolet", m_arrFiles[static_cast<std::size_t>(i)]}, 120000)
                        .nExit;
            });
        for (auto& t : threads)
            t.join();
        return arrExit;
    }

    // The program's rows, "status<TAB>path" lines, counted by path.
    static std::map<std::string, std::vector<std::string>> Rows(const std::string& strOut) {
        std::map<std::string, std::vector<std::string>> rows;
        std::istringstream in(strOut);
        for (std::string line; std::getline(in, line);) {
            const auto tab = line.find('\t');
            if (tab != std::string::npos)
                rows[line.substr(tab + 1)].push_back(line.substr(0, tab));
        }
        return rows;
    }

    void ExpectEveryFileOnceAndRecorded(const std::string& strProgramOut) {
        const auto rows = Rows(strProgramOut);
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(kFiles)) << strProgramOut;
        for (const auto& strPath : m_arrFiles) {
            const auto it = rows.find(strPath);
            ASSERT_NE(it, rows.end()) << strPath;
            EXPECT_EQ(it->second, (std::vector<std::string>{"Done"})) << strPath;
        }
        int nStored = 0;
        for (const auto& entry : fs::directory_iterator(m_device.ShareDir() + "/queued"))
            nStored += entry.path().extension() == ".torrent" ? 1 : 0;
        EXPECT_EQ(nStored, kFiles) << m_device.Log();
    }

    mwtest::CPrivateRuntimeDir m_runtime;
    CTestRegistryScope m_scope;
    mwtest::CDeviceProcess m_device;
    std::string m_strBin;
    std::vector<std::string> m_arrFiles;
};

TEST_F(HandOffProcesses, FiftyArboletsFillARunningQueue) {
    mwtest::CProgramResult program;
    std::thread runner([&] {
        program = mwtest::RunProgram({m_strBin + "/marlowick", "/Q"}, 180000);
    });
    // The queue window is up once it answers by its caption.
    for (int i = 0; i < 200 && !fs::exists(m_runtime.Path() + "/marlowick/Transfer.sock"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto arrExit = RunArbolets();
    runner.join();
    EXPECT_EQ(arrExit, std::vector<int>(kFiles, 0));
    EXPECT_EQ(program.nExit, 0) << program.strErr;
    ExpectEveryFileOnceAndRecorded(program.strOut);
}

TEST_F(HandOffProcesses, TheFirstOfFiftyArboletsStartsTheProgram) {
    const auto arrExit = RunArbolets();
    EXPECT_EQ(arrExit, std::vector<int>(kFiles, 0));
    // The started program prints its rows on its standard output, which is no one's here; the
    // device's records tell instead, and each file once.
    for (int i = 0; i < 600; ++i) {
        int nStored = 0;
        for (const auto& entry : fs::directory_iterator(m_device.ShareDir() + "/queued"))
            nStored += entry.path().extension() == ".torrent" ? 1 : 0;
        if (nStored >= kFiles)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    int nStored = 0;
    for (const auto& entry : fs::directory_iterator(m_device.ShareDir() + "/queued"))
        nStored += entry.path().extension() == ".torrent" ? 1 : 0;
    EXPECT_EQ(nStored, kFiles) << m_device.Log();
    // Let the program end by itself before the device goes.
    for (int i = 0; i < 300 && fs::exists(m_runtime.Path() + "/marlowick/Transfer.sock"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fs::exists(m_runtime.Path() + "/marlowick/Transfer.sock"));
}

} // namespace
