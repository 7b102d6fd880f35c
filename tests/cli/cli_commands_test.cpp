// The command line front end's commands in-process, over a scripted network and the test's own
// registry; portable tests (also run under Wine).
#include "cli/cli.h"
#include "platform/page_text.h"
#include "discovery/device_list.h"
#include "platform/registry.h"
#include "registry_test_scope.h"
#include "tests/app/job_services_stub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr char kSecret[] = "pw-Secret-4711";

NAS_DEVICE_INFO MakeDevice(const char* pszName, std::uint8_t nLast, std::uint32_t nIp) {
    NAS_DEVICE_INFO device{};
    const std::uint8_t mac[6] = {0x02, 0x4d, 0x57, 0x00, 0x00, nLast};
    std::memcpy(device.mac, mac, sizeof mac);
    std::memcpy(device.name, pszName, std::min(std::strlen(pszName), sizeof device.name));
    device.ip = nIp;
    return device;
}

constexpr std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    // Network order: the first part first in memory.
    return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 |
           static_cast<std::uint32_t>(c) << 16 | static_cast<std::uint32_t>(d) << 24;
}

// One upload as the service saw it: the record's eleven texts.
struct CSentJob {
    std::string url, file, user, pw, share, subdir, thisFile, todo, hShare, hProto, hTorrent;
};

struct CUploadAnswer {
    int nReturn;
    VARNEL_DWORD nCode;
    std::string strMessage;
};

// A network whose answers the test writes down beforehand.
class CScriptedServices final : public CJobServicesStub {
public:
    std::vector<NAS_DEVICE_INFO> arrDevices; // what a search finds
    std::string strAcceptedUser = "admin";   // the account every device accepts
    std::string strAcceptedPassword = kSecret;
    std::deque<CUploadAnswer> queAnswers; // in order; accepted once it is empty
    std::string strPage;
    bool bFetchOk = true;
    // Runs inside every upload before it answers (on the upload's own thread).
    std::function<void(const std::string& strFile)> fnDuringUpload;

    int nStarts = 0, nStops = 0, nSearches = 0;
    std::vector<int> arrCheckedIndexes;
    std::vector<CSentJob> arrSent;
    std::vector<unsigned> arrSleeps;
    int nLogLevel = -1;
    std::string strFetchedUrl;
    unsigned nFetchTimeoutMs = 0;

    bool StartSockets() override {
        ++nStarts;
        return true;
    }
    void StopSockets() override { ++nStops; }
    bool Search(CDeviceList& list) override {
        ++nSearches;
        for (const auto& device : arrDevices)
            if (!list.Find(device.mac))
                list.AddTail(device);
        return true;
    }
    bool CheckAccount(CDeviceList& list, int nIndex, const std::string& strUser,
                      const std::string& strPassword) override {
        arrCheckedIndexes.push_back(nIndex);
        return list.GetAt(nIndex) != nullptr && strUser == strAcceptedUser &&
               strPassword == strAcceptedPassword;
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& p, std::string& strMessage,
               VARNEL_DWORD& nCode) override {
        arrSent.push_back({p.url, p.local_filename, p.user, p.pw, p.share_list, p.subdir,
                           p.this_file, p.todo, p.h_share_list, p.h_proto, p.h_torrent});
        if (fnDuringUpload)
            fnDuringUpload(p.local_filename);
        CUploadAnswer answer{1, 0, ""};
        if (!queAnswers.empty()) {
            answer = queAnswers.front();
            queAnswers.pop_front();
        }
        strMessage = answer.strMessage;
        nCode = answer.nCode;
        return answer.nReturn;
    }
    void SetLogLevel(int nLevel) override { nLogLevel = nLevel; }
    void Sleep(unsigned nMs) override { arrSleeps.push_back(nMs); }
    bool FetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                   std::string& strError) override {
        strFetchedUrl = strUrl;
        nFetchTimeoutMs = nTimeoutMs;
        strBody = strPage;
        strError = bFetchOk ? "" : "Connection refused";
        return bFetchOk;
    }
};

struct CRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

class CliCommands : public ::testing::Test {
protected:
    CliCommands() {
        m_pNet->arrDevices = {MakeDevice("NAS-ALPHA", 0x0a, Ip(10, 0, 0, 2)),
                              MakeDevice("NAS-BRAVO", 0x0b, Ip(10, 0, 1, 2))};
        m_dir = fs::temp_directory_path() /
                ("mw-cli-test-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(m_dir);
    }
    ~CliCommands() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    CRun Run(const std::vector<std::string>& arrArgs, const std::string& strStdin = "",
             bool bWorkMayRun = false) {
        std::istringstream in(strStdin);
        std::ostringstream out;
        std::ostringstream err;
        CDeviceList list; // a fresh process starts with an empty list
        CCliContext ctx;
        ctx.pServices = m_pNet;
        ctx.pRegistry = m_pRegistry.get();
        ctx.strSettingsKey = m_scope.Key();
        ctx.pDeviceList = &list;
        ctx.pIn = &in;
        ctx.pOut = &out;
        ctx.pErr = &err;
        CRun run;
        run.nExit = fnRunCli(arrArgs, ctx);
        run.strOut = out.str();
        run.strErr = err.str();
        EXPECT_EQ(ctx.bWorkLeftRunning, bWorkMayRun);
        // Whatever the command, the password is never shown.
        EXPECT_EQ(run.strOut.find(kSecret), std::string::npos) << run.strOut;
        EXPECT_EQ(run.strErr.find(kSecret), std::string::npos) << run.strErr;
        EXPECT_EQ(m_pNet->nStarts, m_pNet->nStops);
        return run;
    }

    std::string Torrent(const std::string& name) {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << "d4:infod4:name1:aee";
        return path.string();
    }

    CSettingsStore Store() { return CSettingsStore(*m_pRegistry, m_scope.Key()); }
    CMarlowickSettings Stored() {
        CMarlowickSettings s;
        Store().LoadSettings(s);
        s.m_nSavedCount = Store().LoadSavedEntries(s);
        return s;
    }

    CTestRegistryScope m_scope;
    std::unique_ptr<CRegistry> m_pRegistry = OpenUserRegistry();
    std::shared_ptr<CScriptedServices> m_pNet = std::make_shared<CScriptedServices>();
    fs::path m_dir;
};

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

TEST_F(CliCommands, UsageErrorsExitTwoBeforeAnyNetworkUse) {
    const struct {
        std::vector<std::string> args;
        const char* pszStdin;
        const char* pszMessage;
    } kCases[] = {
        {{}, "", "Usage: marlowick-cli COMMAND"},
        {{"frobnicate"}, "", "unknown command frobnicate"},
        {{"search", "extra"}, "", "unexpected argument (number 1)"},
        {{"check", "--device", "NAS-ALPHA"}, "", "--device and --user are required"},
        {{"check", "--device", "NAS-ALPHA", "--user", "admin", kSecret},
         "",
         "unexpected argument (number 5)"},
        {{"check", "--device", "NAS-ALPHA", "--user", ""}, "", "both empty"},
        {{"check", "--device", "NAS-ALPHA", "--user", "admin", "--password-stdin"},
         "",
         "standard input holds no line"},
        {{"check", "--device", "NAS-ALPHA", "--user", "admin", "--password", kSecret},
         "",
         "passwords are not taken on the command line"},
        {{"send", "--password=" + std::string(kSecret), "a.torrent"},
         "",
         "passwords are not taken on the command line"},
        {{"send"}, "", "name at least one .torrent file"},
        {{"send", "--bogus", "a.torrent"}, "", "unknown option --bogus"},
        {{"send", "--dest"}, "", "--dest needs a value"},
        {{"send", "--dest", "a", "--dest", "b", "x"}, "", "--dest given more than once"},
        {{"send", "--device", "10.0.0.2", "a.torrent"}, "", "go together"},
        {{"send", "--user", "admin", "--password-stdin", "a.torrent"}, "x\n", "go together"},
        {{"send", "--timeout", "0", "a.torrent"}, "", "--timeout needs a number"},
        {{"send", "--timeout", "5s", "a.torrent"}, "", "--timeout needs a number"},
        {{"set", "--device", "NAS-ALPHA", "--user", "admin"}, "", "are required"},
        {{"set", "--device", "NAS-ALPHA", "--user", "admin", "--dest", ""},
         "",
         "the destination is empty"},
        {{"set", "--device", "NAS-ALPHA", "--user", "admin", "--dest", "public", "--confirm",
          "yes"},
         "",
         "--confirm takes on or off"},
        {{"set", "--device", "NAS-ALPHA", "--user", "admin", "--dest", "public", "--no-check"},
         "",
         "--no-check needs --address"},
        {{"status", "--dump=yes"}, "", "--dump takes no value"},
        {{"status", "--timeout", "-3"}, "", "--timeout needs a number"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CRun run = Run(c.args, c.pszStdin);
        EXPECT_EQ(run.nExit, kCliExitUsage);
        EXPECT_TRUE(Contains(run.strErr, c.pszMessage)) << run.strErr;
        EXPECT_EQ(run.strOut, "");
    }
    EXPECT_EQ(m_pNet->nSearches, 0);
    EXPECT_TRUE(m_pNet->arrSent.empty());
    CMarlowickSettings s;
    EXPECT_FALSE(Store().LoadSettings(s));
}

TEST_F(CliCommands, EveryCommandHasItsHelp) {
    for (const char* pszCommand : {"search", "check", "send", "set", "status"}) {
        SCOPED_TRACE(pszCommand);
        const CRun run = Run({pszCommand, "--help"});
        EXPECT_EQ(run.nExit, kCliExitOk);
        EXPECT_EQ(run.strOut.rfind(std::string("Usage: marlowick-cli ") + pszCommand, 0), 0u)
            << run.strOut;
        EXPECT_EQ(Run({"help", pszCommand}).strOut, run.strOut);
        EXPECT_TRUE(Contains(Run({"--help"}).strOut, std::string("  ") + pszCommand + " "));
    }
    EXPECT_EQ(m_pNet->nSearches, 0);
}

TEST_F(CliCommands, SearchPrintsOneLinePerDeviceAndSucceedsWithNone) {
    CRun run = Run({"search"});
    EXPECT_EQ(run.nExit, kCliExitOk);
    EXPECT_EQ(run.strOut, "NAS-ALPHA\t10.0.0.2\t02:4d:57:00:00:0a\n"
                          "NAS-BRAVO\t10.0.1.2\t02:4d:57:00:00:0b\n");

    // A name from the network can neither break the line nor drive the terminal.
    m_pNet->arrDevices = {MakeDevice("EVIL\nNAS\x1b[2J\t", 0x0c, Ip(10, 0, 2, 2))};
    run = Run({"search"});
    EXPECT_TRUE(Contains(run.strOut, "EVIL NAS [2J \t10.0.2.2\t")) << run.strOut;

    m_pNet->arrDevices.clear();
    run = Run({"search"});
    EXPECT_EQ(run.nExit, kCliExitOk);
    EXPECT_EQ(run.strOut, "");
    EXPECT_TRUE(Contains(run.strErr, "no device answered")) << run.strErr;
}

TEST_F(CliCommands, CheckFindsTheDeviceByNameOrAddressAndReportsTheAnswer) {
    const std::string pw = std::string(kSecret) + "\n";
    CRun run = Run({"check", "--device", "nas-bravo", "--user", "admin", "--password-stdin"}, pw);
    EXPECT_EQ(run.nExit, kCliExitOk) << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "accepted: NAS-BRAVO (10.0.1.2)")) << run.strOut;

    // A password typed on Windows ends with CR LF.
    run = Run({"check", "--device", "10.0.0.2", "--user", "admin", "--password-stdin"},
              std::string(kSecret) + "\r\n");
    EXPECT_EQ(run.nExit, kCliExitOk) << run.strOut;

    run = Run({"check", "--device", "NAS-ALPHA", "--user", "admin", "--password-stdin"}, "wrong\n");
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strOut, "refused: NAS-ALPHA (10.0.0.2)")) << run.strOut;
    EXPECT_TRUE(Contains(run.strOut, "Incorrect Username or Password"));
    EXPECT_EQ((std::vector<int>{1, 0, 0}), m_pNet->arrCheckedIndexes);

    run = Run({"check", "--device", "NAS-ZULU", "--user", "admin", "--password-stdin"}, pw);
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "no device named or at NAS-ZULU")) << run.strErr;
    EXPECT_EQ(m_pNet->arrCheckedIndexes.size(), 3u);
    // One start of the socket library per command, for its search and its check together.
    EXPECT_EQ(m_pNet->nStarts, 4);
}

TEST_F(CliCommands, SendBuildsTheJobFromTheCommandLine) {
    const std::string a = Torrent("a.torrent");
    const std::string b = Torrent("b.torrent");
    const CRun run = Run({"send", "--device", "127.0.0.1:8080", "--user", "admin",
                          "--password-stdin", "--dest", "public\\bt\\new", a, b},
                         std::string(kSecret) + "\n");
    EXPECT_EQ(run.nExit, kCliExitOk) << run.strErr;
    EXPECT_EQ(run.strOut, a + ": accepted\n" + b + ": accepted\n" +
                              "2 of 2 files accepted by 127.0.0.1:8080\n");
    ASSERT_EQ(m_pNet->arrSent.size(), 2u);
    const CSentJob& job = m_pNet->arrSent[1];
    EXPECT_EQ(job.url, "http://127.0.0.1:8080/Down/download_job.cgi");
    EXPECT_EQ(job.file, b);
    EXPECT_EQ(job.user, "admin");
    EXPECT_EQ(job.pw, kSecret);
    EXPECT_EQ(job.share, "public");
    EXPECT_EQ(job.subdir, "/bt/new");
    EXPECT_EQ(job.hShare, "public");
    EXPECT_EQ(job.thisFile + job.todo + job.hProto + job.hTorrent, "down_job.htmsave1local");
    EXPECT_EQ(m_pNet->nLogLevel, 2);
    // The command line's settings are not stored.
    CMarlowickSettings s;
    EXPECT_FALSE(Store().LoadSettings(s));
}

TEST_F(CliCommands, SendRetriesOnceOnAnExistingAcceptHeaderAndReportsEachOutcome) {
    const struct {
        std::vector<CUploadAnswer> answers;
        const char* pszLine;
    } kFiles[] = {
        {{{0, NAS_BTDOWNLOAD_ERR_HEADER_EXISTS, ""}, {1, 0, ""}}, "accepted"},
        {{{0, NAS_BTDOWNLOAD_ERR_HEADER_EXISTS, ""}, {0, NAS_BTDOWNLOAD_ERR_HEADER_EXISTS, ""}},
         "failed (result code 7000)"},
        {{{0, NAS_BTDOWNLOAD_ERR_GENERAL, "The download job already exists."}},
         "refused by the device: The download job already exists."},
        {{{0, NAS_BTDOWNLOAD_ERR_GENERAL, ""}}, "failed (result code 7999): File transfer error."},
        {{{0, NAS_BTDOWNLOAD_ERR_GENERAL, "two\nlines\x1b[0m"}},
         "refused by the device: two lines [0m"},
        {{{0, NAS_BTDOWNLOAD_ERR_HEADER_FAILED, ""}}, "failed (result code 7001)"},
        {{{1, 0, ""}}, "accepted"},
    };
    std::vector<std::string> args = {"send",  "--device", "10.0.0.2", "--user",
                                     "admin", "--dest",   "public"};
    std::size_t nCalls = 0;
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
        args.push_back(Torrent("f" + std::to_string(i) + ".torrent"));
        for (const auto& answer : kFiles[i].answers)
            m_pNet->queAnswers.push_back(answer);
        nCalls += kFiles[i].answers.size();
    }
    const CRun run = Run(args);
    EXPECT_EQ(run.nExit, kCliExitFailed);
    std::istringstream lines(run.strOut);
    std::string line;
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.rfind(args[7 + i] + ": " + kFiles[i].pszLine, 0), 0u) << line;
    }
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "2 of 7 files accepted by 10.0.0.2");
    EXPECT_EQ(m_pNet->arrSent.size(), nCalls);
    EXPECT_EQ(m_pNet->arrSleeps, (std::vector<unsigned>{1000, 1000}));
    // The retry sends the same job again.
    EXPECT_EQ(m_pNet->arrSent[0].file, m_pNet->arrSent[1].file);
}

TEST_F(CliCommands, SendGivesUpOnAFileTheDeviceDoesNotAnswerInTime) {
    const std::string quick = Torrent("quick.torrent");
    const std::string stuck = Torrent("stuck.torrent");
    const std::string later = Torrent("later.torrent");
    std::promise<void> release;
    // Shared with the upload's thread, which may outlive this test's locals.
    auto pStuckDone = std::make_shared<std::promise<void>>();
    std::future<void> stuckDone = pStuckDone->get_future();
    m_pNet->fnDuringUpload = [stuck, pStuckDone,
                              released = release.get_future().share()](const std::string& strFile) {
        if (strFile == stuck) {
            released.wait();
            pStuckDone->set_value();
        }
    };
    const CRun run = Run({"send", "--device", "10.0.0.2", "--user", "admin", "--dest", "public",
                          "--timeout", "1", quick, stuck, later},
                         "", true);
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_EQ(run.strOut, quick + ": accepted\n" + stuck +
                              ": failed: no answer from the device within 1 s\n" + later +
                              ": not sent (the device did not answer)\n"
                              "1 of 3 files accepted by 10.0.0.2\n");
    // The abandoned upload still runs; once it returns, nothing else was sent.
    release.set_value();
    stuckDone.wait();
    EXPECT_EQ(m_pNet->arrSent.size(), 2u);
}

TEST_F(CliCommands, NothingIsSentWhenAFileOrTheSettingsAreMissing) {
    const std::string good = Torrent("good.torrent");
    const std::string missing = (m_dir / "missing.torrent").string();
    const std::vector<std::string> flags = {"send",  "--device", "10.0.0.2", "--user",
                                            "admin", "--dest",   "public"};

    auto args = flags;
    args.insert(args.end(), {good, missing, m_dir.string()});
    CRun run = Run(args);
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "cannot send " + missing + ": ")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "cannot send " + m_dir.string() + ": ")) << run.strErr;
    EXPECT_FALSE(Contains(run.strErr, "cannot send " + good));
    EXPECT_TRUE(Contains(run.strErr, "nothing was sent"));

    run = Run({"send", good});
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "nothing was sent: no settings are stored yet")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "marlowick-cli set"));

    // A key that holds only the confirmation switch, as a click on its box leaves it.
    Store().SaveConfirmDialog(false);
    run = Run({"send", good});
    EXPECT_TRUE(Contains(run.strErr, "the stored settings have no device address, no account "
                                     "name and no destination"))
        << run.strErr;

    run = Run({"send", "--device", "", "--user", "admin", "--dest", "public", good});
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "the command line has no device address")) << run.strErr;
    EXPECT_TRUE(m_pNet->arrSent.empty());
}

// What the checks refuse is said plainly, and a file name reaches the terminal with its control
// characters blanked, like a name from the network.
TEST_F(CliCommands, FileChecksSayWhyAndEchoNamesSafely) {
    const std::vector<std::string> flags = {"send",  "--device", "10.0.0.2", "--user",
                                            "admin", "--dest",   "public"};
    const std::string escape = (m_dir / "red\x1b[31m\nname.torrent").string();
    std::string shown = escape;
    for (char& c : shown)
        if (c == '\x1b' || c == '\n')
            c = ' ';
    const std::string huge = Torrent("huge.torrent");
    fs::resize_file(huge, std::uint64_t{1} << 31); // sparse where the file system allows

    auto args = flags;
    args.insert(args.end(), {escape, huge});
    CRun run = Run(args);
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "cannot send " + shown + ": ")) << run.strErr;
    EXPECT_FALSE(Contains(run.strErr, "\x1b")) << run.strErr;
    EXPECT_TRUE(
        Contains(run.strErr, "cannot send " + huge + ": the file is too large: 2147483648 bytes"))
        << run.strErr;
    EXPECT_FALSE(Contains(run.strErr, "could not be reached"));
    EXPECT_TRUE(m_pNet->arrSent.empty());
    fs::remove(huge);

#if !defined(_WIN32)
    // Such names exist only where the file system allows them.
    const std::string quoted = Torrent("in\"jected.torrent");
    args = flags;
    args.push_back(quoted);
    run = Run(args);
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "cannot send " + quoted + ": its name holds a double quote"))
        << run.strErr;
    EXPECT_TRUE(m_pNet->arrSent.empty());

    const std::string tabbed = Torrent("tab\tand\x7f.torrent");
    args = flags;
    args.push_back(tabbed);
    run = Run(args);
    EXPECT_EQ(run.nExit, kCliExitOk) << run.strErr;
    EXPECT_EQ(run.strOut.rfind((m_dir / "tab and .torrent").string() + ": accepted\n", 0), 0u)
        << run.strOut;
    EXPECT_EQ(m_pNet->arrSent.size(), 1u);
#endif
}

TEST_F(CliCommands, SetStoresWhatTheProgramReadsAndSendUsesIt) {
    CRun run = Run({"set", "--device", "NAS-BRAVO", "--user", "admin", "--password-stdin", "--dest",
                    "public\\bt"},
                   std::string(kSecret) + "\n");
    ASSERT_EQ(run.nExit, kCliExitOk) << run.strErr;
    EXPECT_EQ(m_pNet->arrCheckedIndexes, (std::vector<int>{1}));
    CMarlowickSettings s = Stored();
    EXPECT_EQ(s.m_strTargetDevice, "NAS-BRAVO");
    EXPECT_EQ(s.m_strIP, "10.0.1.2"); // the address the device answered from
    EXPECT_EQ(s.m_strUserName, "admin");
    EXPECT_EQ(s.m_strPassword, kSecret);
    EXPECT_EQ(s.m_strRootSharelist, "public\\bt");
    EXPECT_EQ(s.m_strSubFolder, "");
    EXPECT_EQ(s.m_nConfirmDialog, 1); // nothing stored before: on, as the program reads it
    EXPECT_TRUE(Store().IsConfirmDialogOn());
    ASSERT_EQ(s.m_nSavedCount, 1);
    EXPECT_EQ(s.m_arrSavedEntries[0].m_strDevice, "NAS-BRAVO");
    EXPECT_EQ(s.m_arrSavedEntries[0].m_strPassword, kSecret);

    const std::string file = Torrent("stored.torrent");
    run = Run({"send", file});
    EXPECT_EQ(run.nExit, kCliExitOk) << run.strErr;
    ASSERT_EQ(m_pNet->arrSent.size(), 1u);
    EXPECT_EQ(m_pNet->arrSent[0].url, "http://10.0.1.2/Down/download_job.cgi");
    EXPECT_EQ(m_pNet->arrSent[0].pw, kSecret);
    EXPECT_EQ(m_pNet->arrSent[0].share, "public");
    EXPECT_EQ(m_pNet->arrSent[0].subdir, "/bt");

    // --dest alone changes only this send's destination.
    run = Run({"send", "--dest", "media/films", file});
    ASSERT_EQ(m_pNet->arrSent.size(), 2u);
    EXPECT_EQ(m_pNet->arrSent[1].share + m_pNet->arrSent[1].subdir, "media/films");
    EXPECT_EQ(Stored().m_strRootSharelist, "public\\bt");
}

TEST_F(CliCommands, SetKeepsOneSavedEntryPerDevice) {
    const std::string pw = std::string(kSecret) + "\n";
    ASSERT_EQ(Run({"set", "--device", "NAS-ALPHA", "--address", "10.9.9.9:8080", "--user", "admin",
                   "--password-stdin", "--dest", "public", "--no-check", "--confirm", "off"},
                  pw)
                  .nExit,
              kCliExitOk);
    EXPECT_TRUE(m_pNet->arrCheckedIndexes.empty());
    EXPECT_EQ(m_pNet->nSearches, 0);
    ASSERT_EQ(Run({"set", "--device", "NAS-BRAVO", "--user", "admin", "--password-stdin", "--dest",
                   "media"},
                  pw)
                  .nExit,
              kCliExitOk);
    // The same device under another case overwrites its own entry.
    ASSERT_EQ(Run({"set", "--device", "nas-alpha", "--address", "10.0.0.2", "--user", "admin",
                   "--password-stdin", "--dest", "films"},
                  pw)
                  .nExit,
              kCliExitOk);
    const CMarlowickSettings s = Stored();
    ASSERT_EQ(s.m_nSavedCount, 2);
    ASSERT_EQ(s.m_arrSavedEntries.size(), 2u);
    EXPECT_EQ(s.m_arrSavedEntries[0].m_strDevice, "nas-alpha");
    EXPECT_EQ(s.m_arrSavedEntries[0].m_strRootShareList, "films");
    EXPECT_EQ(s.m_arrSavedEntries[1].m_strDevice, "NAS-BRAVO");
    EXPECT_EQ(s.m_arrSavedEntries[1].m_strRootShareList, "media");
    EXPECT_EQ(s.m_strTargetDevice, "nas-alpha");
    EXPECT_EQ(s.m_strIP, "10.0.0.2");
    // --confirm off stays until it is given again.
    EXPECT_EQ(s.m_nConfirmDialog, 0);
    EXPECT_FALSE(Store().IsConfirmDialogOn());
}

TEST_F(CliCommands, SetStoresNothingWhenTheCheckFails) {
    CRun run = Run(
        {"set", "--device", "NAS-ALPHA", "--user", "admin", "--password-stdin", "--dest", "public"},
        "wrong\n");
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "nothing was stored")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "Incorrect Username or Password"));

    run = Run(
        {"set", "--device", "NAS-ZULU", "--user", "admin", "--password-stdin", "--dest", "public"},
        std::string(kSecret) + "\n");
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "no device named NAS-ZULU")) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "--no-check"));

    CMarlowickSettings s;
    EXPECT_FALSE(Store().LoadSettings(s));
}

TEST_F(CliCommands, StatusPrintsThePageAddressAndItsText) {
    CRun run = Run({"status"});
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "no device address")) << run.strErr;

    CMarlowickSettings s;
    s.m_strIP = "10.0.0.2";
    s.m_strTargetDevice = "NAS-ALPHA";
    Store().SaveSettings(s);
    run = Run({"status"});
    EXPECT_EQ(run.nExit, kCliExitOk);
    EXPECT_EQ(run.strOut, "http://10.0.0.2/Down/download_ui.cgi\n");
    EXPECT_TRUE(m_pNet->strFetchedUrl.empty());

    m_pNet->strPage = "<HTML><HEAD><TITLE>Download Status</TITLE></HEAD><BODY><H1>Jobs</H1>"
                      "<TABLE><TR><TH>File</TH><TH>Share</TH></TR>"
                      "<TR><TD>a &amp; b.torrent</TD><TD>public</TD></TR></TABLE>"
                      "<P>1 job(s)</P></BODY></HTML>";
    run = Run({"status", "--device", "127.0.0.1:8080", "--dump"});
    EXPECT_EQ(run.nExit, kCliExitOk);
    EXPECT_EQ(run.strOut, "http://127.0.0.1:8080/Down/download_ui.cgi\nJobs\nFile\tShare\n"
                          "a & b.torrent\tpublic\n1 job(s)\n");
    EXPECT_EQ(m_pNet->strFetchedUrl, "http://127.0.0.1:8080/Down/download_ui.cgi");
    EXPECT_EQ(m_pNet->nFetchTimeoutMs, 15000u);

    m_pNet->bFetchOk = false;
    run = Run({"status", "--dump", "--timeout", "3"});
    EXPECT_EQ(run.nExit, kCliExitFailed);
    EXPECT_TRUE(Contains(run.strErr, "could not be read: Connection refused")) << run.strErr;
    EXPECT_EQ(m_pNet->nFetchTimeoutMs, 3000u);
}

TEST(CliPageText, KeepsTheTextAndTheTableShape) {
    const struct {
        const char* pszHtml;
        const char* pszText;
    } kCases[] = {
        {"<html><head><title>T</title><style>p{}</style></head><body>Hello,\n   world</body>",
         "Hello, world\n"},
        {"<p>one</p><p>two<br>three</p>", "one\ntwo\nthree\n"},
        {"<table><tr><td> a </td><td>b</td></tr><tr><td></td><td>d</td></tr></table>",
         "a\tb\n\td\n"},
        {"x &lt;y&gt; &quot;z&quot; &#65;&#x42; &eacute; &#0; R&D",
         "x <y> \"z\" AB &eacute; ? R&D\n"},
        {"<!-- <p>hidden</p> --><script>var a = '<p>';</script>shown", "shown\n"},
        {"caf\xc3\xa9 &#233;", "caf\xc3\xa9 \xc3\xa9\n"},
        {"cut <b", "cut\n"},
        {"red\x1b[31m &#27;", "red?[31m ?\n"},
        {"", ""},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(fnPageText(c.pszHtml), c.pszText) << c.pszHtml;
}

} // namespace
