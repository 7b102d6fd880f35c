// The reference device's download-job form and status page, driven by curl and by hand-built
// requests; its command line and its stop; Linux tests.
#include "tests/device/device_fixture.h"
#include "tests/device/device_http.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <set>

using namespace mwtest;
namespace fs = std::filesystem;

namespace {

// A request exactly as the upload library sends it: its headers, its boundary, a Windows path as
// the file name, and four zero bytes after the closing delimiter, counted in Content-Length.
std::string UploadRequest(std::uint16_t port, const std::string& torrent) {
    const std::string delimiter = "-----------------------------7d576325502fe\r\n";
    auto part = [&](const std::string& name, const std::string& value) {
        return delimiter + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
               "\r\n";
    };
    std::string body = part("proto", "bt") + part("torrent", "on") + delimiter +
                       "Content-Disposition: form-data; name=\"upfilename\"; "
                       "filename=\"C:\\Documents and Settings\\me\\raw.torrent\"\r\n"
                       "Content-Type: application/octet-stream\r\n\r\n" +
                       torrent + "\r\n" + part("share_list", "public") +
                       part("subdir", "/incoming") + part("this_file", "down_job.htm") +
                       part("todo", "save") + part("h_share_list", "public") +
                       part("h_proto", "1") + part("h_torrent", "local") + part("finish", "") +
                       "-----------------------------7d576325502fe--\r\n" + std::string(4, '\0');
    return "POST /Down/download_job.cgi HTTP/1.1\r\n"
           "Host: 127.0.0.1:" +
           std::to_string(port) +
           "\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR "
           "1.1.4322)\r\n"
           "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
           "application/x-shockwave-flash, application/msword, */*\r\n"
           "Content-Type: multipart/form-data; "
           "boundary=---------------------------7d576325502fe\r\n"
           "Accept-Encoding: gzip, deflate\r\n"
           "Content-Length: " +
           std::to_string(body.size()) +
           "\r\n"
           "Connection: Keep-Alive\r\n"
           "Authorization: Basic YWRtaW46c2VjcmV0\r\n\r\n" +
           body;
}

class DeviceForm : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_device.Start()) << m_device.Error(); }

    std::string Torrent(const std::string& name, std::uint32_t nSeed) {
        std::string path = m_device.Root() + "/" + name;
        WriteTorrent(path, MakeTorrent(name, 4, nSeed));
        return path;
    }

    std::string StatusPage() { return Curl(m_device.StatusUrl(), {}).strBody; }

    CDeviceProcess m_device;
};

TEST_F(DeviceForm, AcceptsAStandardFormAndStoresTheTorrent) {
    CJobForm form;
    form.strFile = Torrent("sample.torrent", 1);
    form.fields["subdir"] = "/movies/new";
    auto answer = PostForm(m_device.JobUrl(), form);
    EXPECT_EQ(answer.nCurlExit, 0);
    EXPECT_EQ(answer.nStatus, 200);
    EXPECT_EQ(MessageValue(answer.strBody), "");
    // The client offered gzip, but the upload cannot decode: the answer stays plain.
    EXPECT_EQ(answer.strHeaders.find("Content-Encoding"), std::string::npos) << answer.strHeaders;

    const std::string stored = m_device.ShareDir() + "/movies/new/sample.torrent";
    EXPECT_EQ(ReadFileText(stored), ReadFileText(form.strFile));
    const std::string page = StatusPage();
    EXPECT_NE(page.find("<TD>sample.torrent</TD><TD>public</TD><TD>/movies/new</TD>"),
              std::string::npos)
        << page;

    // One log line per request, both requests there.
    EXPECT_TRUE(m_device.WaitForLog("POST /Down/download_job.cgi 200 user admin job "))
        << m_device.Log();
    EXPECT_TRUE(m_device.WaitForLog("GET /Down/download_ui.cgi 200 1 job(s)")) << m_device.Log();
}

TEST_F(DeviceForm, TakesShareAndFoldersJoinedInShareListAsTheQueueSendsThem) {
    CJobForm form;
    form.strFile = Torrent("queued.torrent", 7);
    form.fields["share_list"] = "public/movies/q";
    form.fields["h_share_list"] = "public/movies/q";
    form.fields["subdir"] = "";
    auto answer = PostForm(m_device.JobUrl(), form);
    EXPECT_EQ(MessageValue(answer.strBody), "") << answer.strBody;
    EXPECT_TRUE(fs::exists(m_device.ShareDir() + "/movies/q/queued.torrent"));
    // The folders joined to the share keep the rule against leaving it.
    form.strFile = Torrent("escape.torrent", 8);
    form.fields["share_list"] = "public/../../etc";
    answer = PostForm(m_device.JobUrl(), form);
    EXPECT_EQ(MessageValue(answer.strBody), "Invalid folder: /../../etc") << answer.strBody;
    form.fields["share_list"] = "nosuch/movies";
    answer = PostForm(m_device.JobUrl(), form);
    EXPECT_EQ(MessageValue(answer.strBody), "No such share: nosuch") << answer.strBody;
}

TEST_F(DeviceForm, RefusesWithTheReasonInTheMessage) {
    const std::string torrent = Torrent("first.torrent", 1);
    CJobForm accepted;
    accepted.strFile = torrent;
    ASSERT_EQ(MessageValue(PostForm(m_device.JobUrl(), accepted).strBody), "");

    const std::string notTorrent = m_device.Root() + "/notes.torrent";
    WriteFileText(notTorrent, "just some text, not bencoded");
    const std::string outside = m_device.Root() + "/outside";
    fs::create_directories(outside);
    fs::create_symlink(outside, m_device.ShareDir() + "/escape");

    struct Case {
        const char* what;
        std::string field, value; // a field to change; value "<omit>" drops it
        std::string file;
        std::string message;
    } cases[] = {
        {"unknown share", "share_list", "nosuch", Torrent("a.torrent", 2), "No such share: nosuch"},
        {"not a torrent", "", "", notTorrent, "The file is not a valid torrent file."},
        {"parent folder", "subdir", "/movies/../../etc", Torrent("b.torrent", 3),
         "Invalid folder: /movies/../../etc"},
        {"through a link", "subdir", "/escape/x", Torrent("c.torrent", 4),
         "Invalid folder: /escape/x"},
        {"missing field", "finish", "<omit>", Torrent("d.torrent", 5),
         "The form field finish is missing."},
        {"no file", "", "", "", "The form field upfilename is missing."},
        {"same job again", "subdir", "/other", torrent, "The download job already exists."},
    };
    for (const auto& c : cases) {
        CJobForm form;
        form.strFile = c.file;
        if (c.value == "<omit>") {
            form.fields.erase(c.field);
        } else if (!c.field.empty()) {
            form.fields[c.field] = c.value;
        }
        auto answer = PostForm(m_device.JobUrl(), form);
        EXPECT_EQ(MessageValue(answer.strBody), c.message) << c.what << "\n" << answer.strBody;
        EXPECT_GE(answer.nStatus, 400) << c.what;
    }
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_NE(StatusPage().find("<P>1 job(s)</P>"), std::string::npos);
}

// A sub-folder costs one folder per level: a request for 60,000 levels (as many as one curl
// argument carries) is refused at once, and folder names lose their control characters as file
// names do.
TEST_F(DeviceForm, BoundsAndCleansTheSubfolder) {
    std::string deep;
    for (int i = 0; i < 60000; ++i) {
        deep += "/a";
    }
    CJobForm form;
    form.strFile = Torrent("deep.torrent", 1);
    form.fields["subdir"] = deep;
    auto answer = PostForm(m_device.JobUrl(), form);
    EXPECT_EQ(answer.nStatus, 400);
    EXPECT_EQ(MessageValue(answer.strBody).value_or("").rfind("Invalid folder: /a/a/a", 0), 0u)
        << answer.strBody.substr(0, 300);
    EXPECT_FALSE(fs::exists(m_device.ShareDir() + "/a"));

    form.fields["subdir"] = "/new\tline\nfolder";
    answer = PostForm(m_device.JobUrl(), form);
    EXPECT_EQ(MessageValue(answer.strBody), "") << answer.strBody;
    EXPECT_TRUE(fs::exists(m_device.ShareDir() + "/new_line_folder/deep.torrent"));
}

// Clients choose the request line and the account name, and both are logged: neither may start a
// line of its own or reach a terminal as a control sequence.
TEST_F(DeviceForm, LogLinesCannotBeForged) {
    RawRequest(m_device.HttpPort(),
               "GET /Down/download_ui.cgi%0d%0amarlowick-device:%20forged%1b[31m HTTP/1.1\r\n"
               "Host: x\r\nConnection: close\r\n\r\n");
    CJobForm form;
    form.strUser = "ad\nmarlowick-device: forged\x1b]0;t\x07";
    form.strFile = Torrent("log.torrent", 2);
    EXPECT_EQ(PostForm(m_device.JobUrl(), form).nStatus, 401);
    form.strUser = "admin";
    form.fields["share_list"] = "x\n\x1b[2Jforged";
    EXPECT_EQ(PostForm(m_device.JobUrl(), form).nStatus, 400);
    ASSERT_TRUE(m_device.WaitForLog("No such share: x  [2Jforged")) << m_device.Log();

    std::istringstream log(m_device.Log());
    int nLines = 0;
    for (std::string line; std::getline(log, line); ++nLines) {
        EXPECT_EQ(line.rfind("marlowick-device: ", 0), 0u) << line;
        EXPECT_EQ(line.find_first_of("\r\x1b\x07"), std::string::npos) << line;
    }
    EXPECT_GE(nLines, 4);
}

TEST_F(DeviceForm, RefusesMissingOrWrongCredentials) {
    struct Case {
        const char* what;
        bool bCredentials;
        std::string user, password;
    } cases[] = {
        {"none", false, "", ""},
        {"wrong password", true, "admin", "guess"},
        {"unknown user", true, "root", "secret"},
        {"empty password", true, "admin", ""},
    };
    for (const auto& c : cases) {
        CJobForm form;
        form.strFile = Torrent("x.torrent", 9);
        form.bCredentials = c.bCredentials;
        form.strUser = c.user;
        form.strPassword = c.password;
        auto answer = PostForm(m_device.JobUrl(), form);
        EXPECT_EQ(answer.nStatus, 401) << c.what;
        EXPECT_TRUE(answer.HasHeader("WWW-Authenticate: Basic")) << c.what;
        EXPECT_NE(answer.strBody.find("<TITLE>401 Unauthorized</TITLE>"), std::string::npos);
        EXPECT_FALSE(MessageValue(answer.strBody)) << c.what;
    }
    EXPECT_NE(StatusPage().find("<P>0 job(s)</P>"), std::string::npos);
}

TEST_F(DeviceForm, AcceptsTheUploadsOwnBodyWithTrailingZeroBytes) {
    const std::string torrent = MakeTorrent("raw", 4, 21);
    const std::string request = UploadRequest(m_device.HttpPort(), torrent);
    auto answer = RawRequest(m_device.HttpPort(), request);
    EXPECT_EQ(answer.nStatus, 200) << answer.strHeaders << answer.strBody;
    EXPECT_EQ(MessageValue(answer.strBody), "");
    EXPECT_EQ(answer.strHeaders.find("Content-Encoding"), std::string::npos);
    EXPECT_EQ(ReadFileText(m_device.ShareDir() + "/incoming/raw.torrent"), torrent);
}

TEST_F(DeviceForm, JobsSurviveARestart) {
    for (std::uint32_t seed : {1u, 2u}) {
        CJobForm form;
        form.strFile = Torrent("job" + std::to_string(seed) + ".torrent", seed);
        ASSERT_EQ(MessageValue(PostForm(m_device.JobUrl(), form).strBody), "");
    }
    EXPECT_EQ(m_device.Stop(SIGINT), 0);
    EXPECT_NE(m_device.Log().find("stopping on SIGINT"), std::string::npos);
    ASSERT_TRUE(m_device.Start()) << m_device.Error();

    const std::string page = StatusPage();
    EXPECT_NE(page.find("<TD>job1.torrent</TD><TD>public</TD><TD>/movies</TD>"), std::string::npos)
        << page;
    EXPECT_NE(page.find("<TD>job2.torrent</TD>"), std::string::npos) << page;
    EXPECT_NE(page.find("<P>2 job(s)</P>"), std::string::npos);

    // The restarted device still knows the jobs it took.
    CJobForm again;
    again.strFile = m_device.Root() + "/job1.torrent";
    EXPECT_EQ(MessageValue(PostForm(m_device.JobUrl(), again).strBody),
              "The download job already exists.");
    EXPECT_EQ(m_device.Stop(SIGTERM), 0);
}

// The torrent tool beside the device writes what the device accepts, and both agree on the info
// hash.
TEST_F(DeviceForm, ToolMadeTorrentIsAcceptedWithItsInfoHash) {
    const std::string payload = m_device.Root() + "/payload.bin";
    WriteFileText(payload, std::string(300000, 'p'));
    const char* source = std::getenv("MW_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    CJobForm form;
    form.strFile = m_device.Root() + "/payload.torrent";
    auto made = RunProgram({"python3", std::string(source) + "/device/tools/make_torrent.py",
                            payload, "-o", form.strFile, "--info-hash"});
    ASSERT_EQ(made.nExit, 0) << made.strErr;
    const std::string hash = made.strOut.substr(0, 40);
    ASSERT_EQ(hash.size(), 40u);

    EXPECT_EQ(MessageValue(PostForm(m_device.JobUrl(), form).strBody), "");
    EXPECT_NE(StatusPage().find("<TD>" + hash + "</TD>"), std::string::npos) << hash;
}

// The answer faults, as any HTTP client sees them.
// The names of the files in a share, at any depth, as "folder/name".
std::set<std::string> FilesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            names.insert(fs::relative(entry.path(), dir).generic_string());
        }
    }
    return names;
}

// A record that cannot be written, here past the file size limit (as on a full disk), leaves the
// record file as it was: the next job is not glued to a cut line and survives a restart.
TEST(DeviceStore, AFailedRecordLeavesTheRecordsAsTheyWere) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string records = device.StateDir() + "/jobs.txt";
    auto upload = [&](const std::string& name, std::uint32_t nSeed) {
        CJobForm form;
        form.strFile = device.Root() + "/" + name;
        WriteTorrent(form.strFile, MakeTorrent(name, 1, nSeed));
        return PostForm(device.JobUrl(), form);
    };
    std::set<std::string> stored;
    for (std::uint32_t n = 1; n <= 3; ++n) {
        const std::string name = "job" + std::to_string(n) + ".torrent";
        ASSERT_EQ(upload(name, n).nStatus, 200);
        stored.insert("movies/" + name);
    }
    const std::string before = ReadFileText(records);
    ASSERT_GT(before.size(), fs::file_size(device.Root() + "/job3.torrent"));

    // Room for the torrent file, not for the whole record line.
    rlimit limit{before.size() + 20, RLIM_INFINITY};
    ASSERT_EQ(prlimit(device.Pid(), RLIMIT_FSIZE, &limit, nullptr), 0);
    auto refused = upload("refused.torrent", 4);
    limit.rlim_cur = RLIM_INFINITY;
    ASSERT_EQ(prlimit(device.Pid(), RLIMIT_FSIZE, &limit, nullptr), 0);
    EXPECT_EQ(refused.nStatus, 500);
    EXPECT_EQ(MessageValue(refused.strBody), "The download job cannot be recorded.");
    EXPECT_EQ(ReadFileText(records), before);
    EXPECT_EQ(FilesIn(device.ShareDir()), stored);

    ASSERT_EQ(upload("later.torrent", 5).nStatus, 200);
    device.Stop();
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string page = Curl(device.StatusUrl(), {}).strBody;
    EXPECT_NE(page.find("<P>4 job(s)</P>"), std::string::npos) << page;
    EXPECT_NE(page.find("later.torrent"), std::string::npos) << page;
}

// A device killed while it takes a job leaves no cut file that no record names: before the job is
// recorded the file has a temporary name, which the next start clears; once it is recorded, the
// next start gives the file its name.
TEST(DeviceStore, AKillDuringAJobLeavesNoUnrecordedFile) {
    for (const char* step : {"writing", "recorded"}) {
        SCOPED_TRACE(step);
        const bool bRecorded = std::string(step) == "recorded";
        CDeviceProcess device({"--fault-kill-at", step});
        ASSERT_TRUE(device.Start()) << device.Error();
        CJobForm form;
        form.strFile = device.Root() + "/big.torrent";
        WriteTorrent(form.strFile, MakeTorrent("big", 5120, 9));
        EXPECT_NE(PostForm(device.JobUrl(), form).nStatus, 200);
        EXPECT_EQ(device.Stop(), -1) << "the device should have been killed";

        device.SetExtraArgs({});
        ASSERT_TRUE(device.Start()) << device.Error();
        const std::string page = Curl(device.StatusUrl(), {}).strBody;
        if (bRecorded) {
            EXPECT_EQ(FilesIn(device.ShareDir()), std::set<std::string>{"movies/big.torrent"});
            EXPECT_EQ(ReadFileText(device.ShareDir() + "/movies/big.torrent"),
                      ReadFileText(form.strFile));
            EXPECT_NE(page.find("<P>1 job(s)</P>"), std::string::npos) << page;
            EXPECT_EQ(PostForm(device.JobUrl(), form).nStatus, 409);
        } else {
            EXPECT_EQ(FilesIn(device.ShareDir()), std::set<std::string>{});
            EXPECT_NE(page.find("<P>0 job(s)</P>"), std::string::npos) << page;
            EXPECT_EQ(PostForm(device.JobUrl(), form).nStatus, 200);
            EXPECT_EQ(FilesIn(device.ShareDir()), std::set<std::string>{"movies/big.torrent"});
        }
    }
}

TEST(DeviceFaults, AnswerFaultsAsSeenByCurl) {
    struct Case {
        const char* what;
        std::vector<std::string> flags;
        int nCurlExit; // 52: empty reply; 28: timed out
        std::function<void(const CHttpAnswer&)> check;
    } cases[] = {
        {"delay",
         {"--fault-delay", "300"},
         0,
         [](const CHttpAnswer& a) { EXPECT_EQ(MessageValue(a.strBody), ""); }},
        {"close", {"--fault-close"}, 52, [](const CHttpAnswer& a) { EXPECT_EQ(a.nStatus, 0); }},
        {"no answer", {"--fault-no-answer"}, 28, nullptr},
        {"title",
         {"--fault-title", "DEVICE BUSY"},
         0,
         [](const CHttpAnswer& a) {
             EXPECT_FALSE(MessageValue(a.strBody));
             EXPECT_NE(a.strBody.find("<TITLE>DEVICE BUSY</TITLE>"), std::string::npos);
         }},
        {"no title",
         {"--fault-no-title"},
         0,
         [](const CHttpAnswer& a) {
             EXPECT_FALSE(MessageValue(a.strBody));
             EXPECT_EQ(a.strBody.find("<TITLE>"), std::string::npos);
         }},
        {"size",
         {"--fault-size", "102400"},
         0,
         [](const CHttpAnswer& a) {
             EXPECT_EQ(a.strBody.size(), 102400u);
             EXPECT_EQ(MessageValue(a.strBody), "");
         }},
        {"gzip",
         {"--fault-gzip"},
         0,
         [](const CHttpAnswer& a) {
             EXPECT_TRUE(a.HasHeader("Content-Encoding: gzip")) << a.strHeaders;
             ASSERT_GE(a.strBody.size(), 2u);
             EXPECT_EQ(a.strBody.substr(0, 2), "\x1f\x8b");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CDeviceProcess device(c.flags);
        ASSERT_TRUE(device.Start()) << device.Error();
        CJobForm form;
        form.strFile = device.Root() + "/f.torrent";
        WriteTorrent(form.strFile, MakeTorrent("f", 4, 1));
        CHttpAnswer answer;
        if (c.nCurlExit == 28) {
            // A short limit of our own; the device would hold the request until we leave.
            auto run = RunProgram({"curl", "-sS", "--max-time", "1", "-u", "admin:secret", "-F",
                                   "upfilename=@" + form.strFile, device.JobUrl()});
            answer.nCurlExit = run.nExit;
        } else {
            answer = PostForm(device.JobUrl(), form);
        }
        EXPECT_EQ(answer.nCurlExit, c.nCurlExit);
        if (c.check) {
            c.check(answer);
        }
        // The job itself was taken whatever the answer.
        EXPECT_TRUE(fs::exists(device.ShareDir() + "/movies/f.torrent") || c.nCurlExit == 28);
        EXPECT_EQ(device.Stop(), 0) << device.Log();
    }
}

// A request held by the no-answer fault does not keep the device from stopping, and its client
// gets no byte of answer.
TEST(DeviceFaults, StopsCleanlyWhileHoldingARequest) {
    CDeviceProcess device({"--fault-no-answer"});
    ASSERT_TRUE(device.Start()) << device.Error();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(device.HttpPort());
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    const std::string request = UploadRequest(device.HttpPort(), MakeTorrent("held"));
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    // The device stores the job before it starts to hold the answer back.
    const std::string stored = device.ShareDir() + "/incoming/raw.torrent";
    for (int i = 0; i < 500 && !fs::exists(stored); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(stored));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.Stop(SIGTERM), 0) << device.Log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    char byte = 0;
    EXPECT_LE(recv(fd, &byte, 1, 0), 0);
    close(fd);
    EXPECT_NE(device.Log().find("closed without answer"), std::string::npos) << device.Log();
}

TEST(DeviceCommandLine, BadSettingsExitWithCodeTwo) {
    CDeviceProcess scratch; // only for its temporary folder
    const std::string dir = scratch.Root();
    const std::vector<std::string> base = {
        "--state", dir + "/state", "--account", "a:b", "--share", "public=" + dir + "/public",
        "--http",  "127.0.0.1:0",  "--udp",     "off"};
    struct Case {
        const char* what;
        std::vector<std::string> args; // replace or add to base
        bool bWithBase;
    } cases[] = {
        {"nothing", {}, false},
        {"no account", {"--state", dir + "/state", "--share", "p=" + dir}, false},
        {"no share", {"--state", dir + "/state", "--account", "a:b"}, false},
        {"no state", {"--account", "a:b", "--share", "p=" + dir}, false},
        {"missing share folder", {"--share", "x=" + dir + "/nope"}, true},
        {"share twice", {"--share", "public=" + dir}, true},
        {"account without colon", {"--account", "admin"}, true},
        {"name of 16 bytes", {"--name", "sixteen-bytes-xx"}, true},
        {"bad mac", {"--mac", "02:00:00:00:00"}, true},
        {"bad http", {"--http", "localhost:80"}, true},
        {"bad udp port", {"--udp", "127.0.0.1:70000"}, true},
        {"bad advertise", {"--advertise", "10.0.0"}, true},
        {"bad delay", {"--fault-delay", "soon"}, true},
        {"conflicting faults", {"--fault-close", "--fault-no-answer"}, true},
        {"unknown option", {"--colour", "red"}, true},
        {"value missing", {"--name"}, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {DeviceBinary()};
        if (c.bWithBase) {
            args.insert(args.end(), base.begin(), base.end());
        }
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto run = RunProgram(args, 10000);
        EXPECT_EQ(run.nExit, 2) << c.what << ": " << run.strErr;
        EXPECT_NE(run.strErr.find("marlowick-device: "), std::string::npos) << c.what;
    }
    auto help = RunProgram({DeviceBinary(), "--help"});
    EXPECT_EQ(help.nExit, 0);
    EXPECT_NE(help.strOut.find("--fault-no-answer"), std::string::npos);
}

TEST(DeviceCommandLine, BusyPortExitsWithCodeOne) {
    CDeviceProcess first;
    ASSERT_TRUE(first.Start()) << first.Error();
    auto run = RunProgram({DeviceBinary(), "--state", first.Root() + "/other", "--account", "a:b",
                           "--share", "public=" + first.ShareDir(), "--udp", "off", "--http",
                           "127.0.0.1:" + std::to_string(first.HttpPort())},
                          10000);
    EXPECT_EQ(run.nExit, 1) << run.strErr;
    EXPECT_NE(run.strErr.find("Address already in use"), std::string::npos) << run.strErr;
}

} // namespace
