// marlowick-cli as a program against the reference device on loopback: send, set, status, and
// what goes wrong on the way; Linux tests.
#include "app/settings.h"
#include "cli_process.h"
#include "platform/registry.h"
#include "registry_test_scope.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>

// Entries shown by their fields when a comparison fails.
void PrintTo(const CSavedEntry& entry, std::ostream* out) {
    *out << '{' << entry.m_strDevice << ", " << entry.m_strUserName << ", " << entry.m_strPassword
         << ", " << entry.m_strRootShareList << '}';
}

namespace {

namespace fs = std::filesystem;
using mwtest::CDeviceProcess;
using mwtest::RunCli;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

// Every test runs with settings and an upload log of its own, and a folder for its files.
class CliAgainstDevice : public ::testing::Test {
protected:
    void SetUp() override {
        m_strStateHome = m_scope.ConfigDir() + "/state";
        ::setenv("XDG_STATE_HOME", m_strStateHome.c_str(), 1);
        m_strFiles = m_scope.ConfigDir() + "/files";
        fs::create_directories(m_strFiles);
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    std::string Torrent(const std::string& name, std::uint32_t nSeed) {
        const std::string path = m_strFiles + "/" + name;
        mwtest::WriteTorrent(path, mwtest::MakeTorrent(name, 4, nSeed));
        return path;
    }
    static std::string Address(const CDeviceProcess& device) {
        return "127.0.0.1:" + std::to_string(device.HttpPort());
    }
    static std::string Password() { return std::string(CDeviceProcess::kPassword) + "\n"; }
    std::vector<std::string> SendTo(const CDeviceProcess& device, const std::string& dest) {
        return {"send",
                "--device",
                Address(device),
                "--user",
                CDeviceProcess::kUser,
                "--password-stdin",
                "--dest",
                dest};
    }
    static void ExpectNoPassword(const mwtest::CCliResult& run) {
        EXPECT_FALSE(Contains(run.strOut + run.strErr, CDeviceProcess::kPassword));
    }

    CTestRegistryScope m_scope;
    std::string m_strStateHome;
    std::string m_strFiles;
};

TEST_F(CliAgainstDevice, SendsTheSamplesAndShowsThemOnTheStatusPage) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    auto args = SendTo(device, "public\\e2e\\new");
    const std::string examples = std::string(std::getenv("MW_SOURCE_DIR")) + "/examples/";
    std::vector<std::string> arrNames;
    for (const auto& entry : fs::directory_iterator(examples))
        if (entry.path().extension() == ".torrent")
            arrNames.push_back(entry.path().filename().string());
    std::sort(arrNames.begin(), arrNames.end());
    ASSERT_GE(arrNames.size(), 3u);
    for (const auto& name : arrNames)
        args.push_back(examples + name);

    auto run = RunCli(args, Password());
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr << device.Log();
    for (const auto& name : arrNames) {
        EXPECT_TRUE(Contains(run.strOut, examples + name + ": accepted\n")) << run.strOut;
        EXPECT_TRUE(fs::exists(device.ShareDir() + "/e2e/new/" + name)) << name;
    }
    EXPECT_TRUE(Contains(run.strOut, "3 of 3 files accepted by " + Address(device)));
    ExpectNoPassword(run);
    // The upload log went to the test's own state folder.
    EXPECT_TRUE(fs::exists(m_strStateHome + "/marlowick"));

    run = RunCli({"status", "--device", Address(device), "--dump"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut.rfind(device.StatusUrl() + "\nDownload jobs on mw-test\n", 0), 0u)
        << run.strOut;
    for (const auto& name : arrNames)
        EXPECT_TRUE(Contains(run.strOut, name + "\tpublic\t/e2e/new\t")) << run.strOut;
    EXPECT_TRUE(Contains(run.strOut, "\n3 job(s)\n"));
}

TEST_F(CliAgainstDevice, RefusalsCarryTheDevicesOwnMessage) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string good = Torrent("good.torrent", 1);
    const std::string junk = m_strFiles + "/junk.torrent";
    mwtest::WriteFileText(junk, "not a torrent at all");

    auto args = SendTo(device, "public");
    args.insert(args.end(), {good, junk, good});
    auto run = RunCli(args, Password());
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, good + ": accepted\n" + junk +
                              ": refused by the device: The file is not a valid torrent file.\n" +
                              good +
                              ": refused by the device: The download job already exists.\n"
                              "1 of 3 files accepted by " +
                              Address(device) + "\n");

    // A refused account and an unknown share, each in the device's words.
    args = SendTo(device, "public");
    args.push_back(Torrent("other.torrent", 2));
    run = RunCli(args, "wrong-password\n");
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Contains(run.strOut, "refused by the device: 401 Unauthorized")) << run.strOut;
    EXPECT_FALSE(Contains(run.strOut + run.strErr, "wrong-password"));

    args = SendTo(device, "nowhere\\x");
    args.push_back(m_strFiles + "/other.torrent");
    run = RunCli(args, Password());
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Contains(run.strOut, "refused by the device: No such share: nowhere"))
        << run.strOut;
}

TEST_F(CliAgainstDevice, NothingIsSentForAMissingOrUnreadableFileOrEmptySettings) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string good = Torrent("good.torrent", 1);
    const std::string missing = m_strFiles + "/missing.torrent";

    auto args = SendTo(device, "public");
    args.insert(args.end(), {good, missing});
    auto run = RunCli(args, Password());
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strOut, "");
    EXPECT_TRUE(Contains(run.strErr, missing + ": ")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "No such file or directory")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "nothing was sent"));

    // Root reads any file, so an unreadable one can only be made as another user.
    if (geteuid() != 0) {
        const std::string locked = Torrent("locked.torrent", 3);
        fs::permissions(locked, fs::perms::none);
        args = SendTo(device, "public");
        args.push_back(locked);
        run = RunCli(args, Password());
        EXPECT_EQ(run.nExit, 1);
        EXPECT_TRUE(Contains(run.strErr, locked + ": ")) << run.strErr;
        EXPECT_TRUE(Contains(run.strErr, "Permission denied")) << run.strErr;
    }

    run = RunCli({"send", good});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(Contains(run.strErr, "no settings are stored yet")) << run.strErr;

    EXPECT_FALSE(Contains(device.Log(), "POST")) << device.Log();
    EXPECT_FALSE(fs::exists(device.ShareDir() + "/good.torrent"));
}

// A FIFO once hung the program waiting for a writer, and /dev/zero was called a directory.
TEST_F(CliAgainstDevice, OnlyRegularFilesAreSentAndEachOtherKindIsNamed) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string fifo = m_strFiles + "/pipe.torrent";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto args = SendTo(device, "public");
    args.insert(args.end(), {fifo, "/dev/zero", m_strFiles});
    const auto run = RunCli(args, Password(), 20000);
    EXPECT_EQ(run.nExit, 1) << run.strErr;
    EXPECT_LT(run.dSeconds, 10.0);
    EXPECT_TRUE(Contains(run.strErr, fifo + ": it is a FIFO (named pipe), not a regular file"))
        << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "/dev/zero: it is a character device, not a regular file"))
        << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, m_strFiles + ": it is a directory, not a regular file"))
        << run.strErr;
    EXPECT_FALSE(Contains(run.strErr, "Is a directory")) << run.strErr;
    EXPECT_FALSE(Contains(device.Log(), "POST")) << device.Log();
}

// A body over the device's limit is answered 413 with no page: the line names the status.
TEST_F(CliAgainstDevice, AnOversizedUploadSaysTheDeviceRefusedItsSize) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string big = m_strFiles + "/big.torrent";
    mwtest::WriteFileText(big, "d");
    fs::resize_file(big, 33u << 20); // sparse: over the device's 32 MiB limit

    auto args = SendTo(device, "public");
    args.push_back(big);
    const auto run = RunCli(args, Password(), 60000);
    EXPECT_EQ(run.nExit, 1) << run.strErr;
    EXPECT_EQ(run.strOut, big + ": refused by the device: HTTP status 413 Payload Too Large\n" +
                              "0 of 1 file accepted by " + Address(device) + "\n");
}

// The libcurl trace that MW_CURL_VERBOSE turns on shows every header but the credentials.
TEST_F(CliAgainstDevice, TheCurlTraceMasksTheCredentials) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    auto args = SendTo(device, "public");
    args.push_back(Torrent("traced.torrent", 5));
    ::setenv("MW_CURL_VERBOSE", "1", 1);
    const auto run = RunCli(args, Password());
    ::unsetenv("MW_CURL_VERBOSE");
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "> POST /Down/download_job.cgi HTTP/1.1")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "Authorization: ***")) << run.strErr;
    // admin:secret in base64, whole and in part
    EXPECT_FALSE(Contains(run.strErr, "YWRtaW46")) << run.strErr;
    EXPECT_FALSE(Contains(run.strErr, "Basic")) << run.strErr;
}

TEST_F(CliAgainstDevice, SetThenSendAndStatusUseWhatSetStored) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    auto run = RunCli({"set", "--device", "mw-test", "--address", Address(device), "--user",
                       CDeviceProcess::kUser, "--password-stdin", "--dest", "public\\stored",
                       "--confirm", "off", "--no-check"},
                      Password());
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    ExpectNoPassword(run);

    // Stored where the program reads its settings.
    auto pRegistry = OpenUserRegistry();
    CSettingsStore store(*pRegistry);
    CMarlowickSettings s;
    ASSERT_TRUE(store.LoadSettings(s));
    EXPECT_EQ(s.m_strIP, Address(device));
    EXPECT_EQ(s.m_strTargetDevice, "mw-test");
    EXPECT_EQ(s.m_strUserName, CDeviceProcess::kUser);
    EXPECT_EQ(s.m_strPassword, CDeviceProcess::kPassword);
    EXPECT_EQ(s.m_strRootSharelist, "public\\stored");
    EXPECT_FALSE(store.IsConfirmDialogOn());
    EXPECT_EQ(store.LoadSavedEntries(s), 1);

    const std::string file = Torrent("stored.torrent", 4);
    run = RunCli({"send", file});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr << device.Log();
    EXPECT_TRUE(fs::exists(device.ShareDir() + "/stored/stored.torrent"));

    run = RunCli({"status", "--dump"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "stored.torrent\tpublic\t/stored\t")) << run.strOut;
}

TEST_F(CliAgainstDevice, ADeviceThatNeverAnswersEndsInBoundedTime) {
    CDeviceProcess device({"--fault-no-answer"});
    ASSERT_TRUE(device.Start()) << device.Error();
    auto args = SendTo(device, "public");
    const std::string first = Torrent("first.torrent", 1);
    const std::string second = Torrent("second.torrent", 2);
    args.insert(args.end(), {"--timeout", "2", first, second});
    auto run = RunCli(args, Password(), 30000);
    EXPECT_EQ(run.nExit, 1) << run.strErr;
    EXPECT_LT(run.dSeconds, 15.0);
    EXPECT_EQ(run.strOut, first + ": failed: no answer from the device within 2 s\n" + second +
                              ": not sent (the device did not answer)\n"
                              "0 of 2 files accepted by " +
                              Address(device) + "\n");

    // A status page that never comes: a port that takes connections and never answers.
    const int nListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(nListener, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    ASSERT_EQ(bind(nListener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(nListener, 4), 0);
    ASSERT_EQ(getsockname(nListener, reinterpret_cast<sockaddr*>(&sa), &len), 0);
    const std::string silent = "127.0.0.1:" + std::to_string(ntohs(sa.sin_port));
    run = RunCli({"status", "--device", silent, "--dump", "--timeout", "2"}, "", 30000);
    close(nListener);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_LT(run.dSeconds, 15.0);
    EXPECT_TRUE(Contains(run.strErr, "the status page could not be read: ")) << run.strErr;

    // A device that is gone: the connection is refused at once, without any time limit given.
    device.Stop();
    args = SendTo(device, "public");
    args.push_back(first);
    run = RunCli(args, Password(), 30000);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_LT(run.dSeconds, 15.0);
    EXPECT_TRUE(Contains(run.strOut, first + ": failed (result code 7999): File transfer error."))
        << run.strOut;
}

TEST_F(CliAgainstDevice, ExitCodesOfTheProgram) {
    EXPECT_EQ(RunCli({}).nExit, 2);
    EXPECT_EQ(RunCli({"--help"}).nExit, 0);
    EXPECT_EQ(RunCli({"send", "--password", "x", "a"}).nExit, 2);
    auto run = RunCli({"status", "--device", "127.0.0.1:9"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut, "http://127.0.0.1:9/Down/download_ui.cgi\n");
}

// set against the settings file itself: runs in parallel, a run that cannot store, a file that
// cannot be read. No device is needed: set stores without the account check.
class CliSettingsFile : public ::testing::Test {
protected:
    static std::vector<std::string> SetArgs(int n) {
        const auto k = std::to_string(n);
        return {"set",       "--device", "NAS-" + k,   "--address",        "10.0.0." + k, "--user",
                "user-" + k, "--dest",   "share-" + k, "--password-stdin", "--no-check"};
    }
    static std::string PasswordLine(int n) { return "pw-" + std::to_string(n) + "\n"; }
    // What set stores for device n, as the settings store reads it back.
    static CSavedEntry EntryOf(int n) {
        const auto k = std::to_string(n);
        return {"NAS-" + k, "user-" + k, "pw-" + k, "share-" + k};
    }
    std::string FileBytes() const {
        std::ifstream in(m_file, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    std::vector<std::string> Folder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_file.parent_path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    CTestRegistryScope m_scope;
    fs::path m_file = fs::path(m_scope.ConfigDir()) / "marlowick" / "settings.reg";
};

// Ten devices stored at once: the current settings are one run's whole set, and each device has
// one entry of its own.
TEST_F(CliSettingsFile, ParallelSetsKeepEachDevicesValuesTogether) {
    constexpr int kRuns = 10;
    std::vector<mwtest::CCliResult> arrRuns(kRuns);
    std::vector<std::thread> arrThreads;
    for (int n = 0; n < kRuns; ++n)
        arrThreads.emplace_back([&, n] { arrRuns[n] = RunCli(SetArgs(n), PasswordLine(n)); });
    for (auto& thread : arrThreads)
        thread.join();
    for (int n = 0; n < kRuns; ++n)
        EXPECT_EQ(arrRuns[n].nExit, 0) << n << ": " << arrRuns[n].strErr;

    auto pRegistry = OpenUserRegistry();
    CSettingsStore store(*pRegistry);
    CMarlowickSettings s;
    ASSERT_TRUE(store.LoadSettings(s));
    const CSavedEntry current{s.m_strTargetDevice, s.m_strUserName, s.m_strPassword,
                              s.m_strRootSharelist};
    bool bOneRunsSet = false;
    for (int n = 0; n < kRuns; ++n)
        bOneRunsSet |= current == EntryOf(n) && s.m_strIP == "10.0.0." + std::to_string(n);
    EXPECT_TRUE(bOneRunsSet) << s.m_strTargetDevice << " " << s.m_strIP << " " << s.m_strUserName
                             << " " << s.m_strPassword << " " << s.m_strRootSharelist;

    EXPECT_EQ(store.LoadSavedEntries(s), kRuns);
    auto arrEntries = s.m_arrSavedEntries;
    std::vector<CSavedEntry> arrExpected;
    for (int n = 0; n < kRuns; ++n)
        arrExpected.push_back(EntryOf(n));
    const auto byDevice = [](const CSavedEntry& a, const CSavedEntry& b) {
        return a.m_strDevice < b.m_strDevice;
    };
    std::sort(arrEntries.begin(), arrEntries.end(), byDevice);
    EXPECT_EQ(arrEntries, arrExpected);
    EXPECT_EQ(Folder(), (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}

// A run whose settings cannot be written, here because the file may not grow (as on a full
// disk), reports it and leaves the file as it was.
TEST_F(CliSettingsFile, ARunThatCannotStoreChangesNothing) {
    ASSERT_EQ(RunCli(SetArgs(1), PasswordLine(1)).nExit, 0);
    const std::string before = FileBytes();
    const auto run = RunCli(
        SetArgs(2), PasswordLine(2), 60000,
        {"/bin/sh", "-c",
         "trap '' XFSZ; exec prlimit --fsize=" + std::to_string(before.size()) + " -- \"$@\"",
         "sh"});
    EXPECT_EQ(run.nExit, 1) << run.strOut;
    EXPECT_TRUE(Contains(run.strErr, "could not be stored")) << run.strErr;
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Folder(), (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}

// A settings file that exists but cannot be read is reported with its reason, and set never
// replaces it: the saved entries in it would be lost.
TEST_F(CliSettingsFile, AnUnreadableFileIsReportedAndNeverReplaced) {
    ASSERT_EQ(RunCli(SetArgs(1), PasswordLine(1)).nExit, 0);
    const std::string before = FileBytes();
    std::vector<std::string> arrLauncher;
    if (geteuid() == 0) {
        // Root reads any file: run as nobody, in a folder of nobody's, beside root's file.
        constexpr uid_t kNobody = 65534;
        fs::permissions(m_scope.ConfigDir(), fs::perms::owner_all | fs::perms::others_exec);
        ASSERT_EQ(::chown(m_file.parent_path().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown((m_file.string() + ".lock").c_str(), kNobody, kNobody), 0);
        arrLauncher = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    } else {
        fs::permissions(m_file, fs::perms::none);
    }

    auto run = RunCli(SetArgs(2), PasswordLine(2), 60000, arrLauncher);
    EXPECT_EQ(run.nExit, 1) << run.strOut;
    EXPECT_TRUE(Contains(run.strErr, m_file.string() + ": Permission denied")) << run.strErr;
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FileBytes(), before);

    if (geteuid() != 0)
        fs::permissions(m_file, fs::perms::none);
    run = RunCli({"send", m_scope.ConfigDir() + "/any.torrent"}, "", 60000, arrLauncher);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_FALSE(Contains(run.strErr, "no settings are stored yet")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, m_file.string() + ": Permission denied")) << run.strErr;
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace
