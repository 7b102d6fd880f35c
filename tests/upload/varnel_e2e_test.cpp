// The upload against a real HTTP server on loopback: the raw request as the device receives it,
// and the outcome for each kind of answer; portable tests, run beside
// tests/upload/capture_server.py.
#include "upload_fixture.h"

#include "upload/body.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#if defined(MW_VARNEL_STATIC)
#include "outside/dunmore/dunmore_recording.h"
#include "platform/http.h"
#endif

namespace {

const std::string kTorrent = "d8:announce9:http://x/4:infod6:lengthi3e4:name1:a12:piece "
                             "lengthi16e6:pieces20:aaaaaaaaaaaaaaaaaaaaee";

struct CResult {
    int ret = -1;
    VARNEL_DWORD code = 12345;
    std::string message = "stale";
};

CResult Upload(const CParam& param) {
    CResult r;
    const NAS_BTDOWNLOAD_PARAM p = param.Get();
    r.ret = varnel_NAS_BTDownloadForLocalFile2(&p, &r.message, &r.code);
    return r;
}

std::vector<std::string> HeaderLines(const std::string& raw) {
    std::vector<std::string> lines;
    const auto end = raw.find("\r\n\r\n");
    std::size_t pos = 0;
    while (pos < end) {
        const auto next = raw.find("\r\n", pos);
        lines.push_back(raw.substr(pos, next - pos));
        pos = next + 2;
    }
    return lines;
}

int CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& l : lines)
        if (l.size() >= prefix.size() &&
            std::equal(prefix.begin(), prefix.end(), l.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            ++n;
    return n;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(VarnelE2E, AcceptedUploadSendsTheExactRequest) {
    REQUIRE_CAPTURE_SERVER();
    CTempFile file(kTorrent);
    CParam param{.url = CaptureUrl("/ok/Down/download_job.cgi"), .file = file.Path()};
    const CResult r = Upload(param);
    EXPECT_EQ(r.ret, 1);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.message, "");

    const std::string raw = LastCapturedRequest();
    const auto lines = HeaderLines(raw);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "POST /ok/Down/download_job.cgi HTTP/1.1");
    EXPECT_TRUE(Has(lines, "Host: 127.0.0.1:" + std::string(std::getenv("MW_CAPTURE_PORT"))));
    EXPECT_TRUE(Has(lines, "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; "
                           ".NET CLR 1.1.4322)"));
    EXPECT_TRUE(Has(lines, "Referer: " + param.url));
    EXPECT_TRUE(Has(lines, "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                           "application/x-shockwave-flash, application/msword, */*"));
    EXPECT_TRUE(Has(lines, "Content-Type: multipart/form-data; "
                           "boundary=---------------------------7d576325502fe"));
    EXPECT_TRUE(Has(lines, "Accept-Encoding: gzip, deflate"));
    EXPECT_TRUE(Has(lines, "Connection: Keep-Alive"));
    EXPECT_TRUE(Has(lines, "Authorization: Basic YWRtaW46c2VjcmV0")); // admin:secret

    const CBodyFrame frame = MakeBodyFrame(
        file.Path(), {"Public", "/Public/dl", "down_job.htm", "save", "Public", "1", "local"});
    const std::uint64_t length = frame.Length(kTorrent.size());
    EXPECT_TRUE(Has(lines, "Content-Length: " + std::to_string(length)));
    for (const char* once : {"Content-Length:", "Accept:", "Authorization:", "Content-Type:"})
        EXPECT_EQ(CountStartingWith(lines, once), 1) << once;
    EXPECT_EQ(CountStartingWith(lines, "Expect:"), 0);
    EXPECT_EQ(CountStartingWith(lines, "Transfer-Encoding:"), 0);

    std::string body(length, '\0');
    const char* content = kTorrent.data();
    CBodyStream stream(frame, kTorrent.size(),
                       [&](char* buffer, std::size_t size, std::size_t& got) {
                           std::copy_n(content, size, buffer);
                           content += size;
                           got = size;
                           return true;
                       });
    std::size_t got = 0;
    ASSERT_TRUE(stream.Next(body.data(), body.size(), got));
    EXPECT_EQ(got, length);
    EXPECT_EQ(raw.substr(raw.find("\r\n\r\n") + 4), body);
}

TEST(VarnelE2E, OutcomesOfTheAnswerPage) {
    REQUIRE_CAPTURE_SERVER();
    CTempFile file(kTorrent);
    struct {
        const char* path;
        int ret;
        VARNEL_DWORD code;
        const char* message;
    } cases[] = {
        {"/message/x.cgi", 0, 7999, "The share does not exist."},
        {"/title/x.cgi", 0, 7999, "401 Unauthorized"},
        {"/lowertitle/x.cgi", 0, 7999, ""},
        {"/close/x.cgi", 0, 7999, ""},
        {"/size/102399", 0, 7999, "big"},
        {"/size/102400", 0, 7999, ""},
        // An accepting page that did not arrive whole proves nothing.
        {"/cut/x.cgi", 0, 7999, ""},
        {"/reset/x.cgi", 0, 7999, ""},
        // A message cut inside its value fails with what arrived of it.
        {"/unclosed/x.cgi", 0, 7999, "No such sh"},
        // A failing status without the device's own words is named.
        {"/status/413/empty", 0, 7999, "HTTP status 413 Payload Too Large"},
        {"/status/500/ok", 0, 7999, "HTTP status 500 Internal Server Error"},
        {"/status/201/ok", 1, 0, ""},
    };
    for (const auto& c : cases) {
        const CResult r = Upload({.url = CaptureUrl(c.path), .file = file.Path()});
        EXPECT_EQ(r.ret, c.ret) << c.path;
        EXPECT_EQ(r.code, c.code) << c.path;
        EXPECT_EQ(r.message, c.message) << c.path;
    }
}

TEST(VarnelE2E, CredentialsAndTextsOfAnyLength) {
    REQUIRE_CAPTURE_SERVER();
    CTempFile file(kTorrent);
    CParam param{.url = CaptureUrl("/ok/x.cgi"),
                 .file = file.Path(),
                 .user = std::string(150, 'u'),
                 .pw = std::string(300, 'p'),
                 .share = std::string(3000, 's')};
    EXPECT_EQ(Upload(param).ret, 1);
    const std::string raw = LastCapturedRequest();
    EXPECT_NE(raw.find(std::string(3000, 's') + "\r\n"), std::string::npos);
    const auto auth = raw.find("Authorization: Basic ");
    ASSERT_NE(auth, std::string::npos);
    EXPECT_EQ(raw.find("\r\n", auth) - auth, 21 + (451 + 2) / 3 * 4);

    param.user = "admin";
    param.pw = "";
    EXPECT_EQ(Upload(param).ret, 1);
    EXPECT_NE(LastCapturedRequest().find("Authorization: Basic YWRtaW46\r\n"), std::string::npos);
}

TEST(VarnelE2E, FromMemoryUnderTheWideName) {
    REQUIRE_CAPTURE_SERVER();
    const std::string url = CaptureUrl("/ok/x.cgi");
    NAS_BTDOWNLOAD_PARAM_EX p{url.c_str(),
                              u"memory.torrent",
                              "",
                              reinterpret_cast<const unsigned char*>(kTorrent.data()),
                              kTorrent.size(),
                              "admin",
                              "secret",
                              "Public",
                              "/dl",
                              "down_job.htm",
                              "save",
                              "Public",
                              "1",
                              "local"};
    std::string message = "stale";
    VARNEL_DWORD code = 1;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, &message, &code), 1);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(message, "");
    const std::string raw = LastCapturedRequest();
    EXPECT_NE(
        raw.find("filename=\"memory.torrent\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                 kTorrent + "\r\n"),
        std::string::npos);
}

TEST(VarnelE2E, UploadsRunAtOnceOnSeveralThreads) {
    REQUIRE_CAPTURE_SERVER();
    CTempFile file(kTorrent);
    const int before = CapturedCount();
    std::atomic<int> accepted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                CParam param{.url = CaptureUrl(t % 2 ? "/ok/a.cgi" : "/message/b.cgi"),
                             .file = file.Path()};
                const CResult r = Upload(param);
                const bool ok = t % 2 ? r.ret == 1 && r.code == 0 && r.message.empty()
                                      : r.ret == 0 && r.message == "The share does not exist.";
                accepted += ok;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(accepted, 12);
    EXPECT_EQ(CapturedCount() - before, 12);
}

// A name with a double quote or a line break would end filename="..." and write form fields of its
// own: such a name is refused before anything is sent, with a message that says why.
TEST(VarnelE2E, NamesThatWouldRewriteTheFormAreRefusedUnsent) {
    REQUIRE_CAPTURE_SERVER();
    const std::string url = CaptureUrl("/ok/x.cgi");
    const int before = CapturedCount();
    for (const char* name :
         {"a\".torrent", "a\r\nContent-Disposition: x.torrent", "a\nb.torrent"}) {
        NAS_BTDOWNLOAD_PARAM_EX p{url.c_str(),
                                  u"",
                                  name,
                                  reinterpret_cast<const unsigned char*>(kTorrent.data()),
                                  kTorrent.size(),
                                  "admin",
                                  "secret",
                                  "Public",
                                  "/dl",
                                  "down_job.htm",
                                  "save",
                                  "Public",
                                  "1",
                                  "local"};
        std::string message;
        VARNEL_DWORD code = 0;
        EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, &message, &code), 0) << name;
        EXPECT_EQ(code, 7999u) << name;
        EXPECT_NE(message.find("cannot carry"), std::string::npos) << message;
    }
    const std::u16string wide = u"wide\".torrent";
    NAS_BTDOWNLOAD_PARAM_EX p{url.c_str(), wide.c_str(), nullptr, nullptr, 0,  "admin", "",
                              "",          "",           "",      "",      "", "",      ""};
    std::string message;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, &message, nullptr), 0);
    EXPECT_NE(message.find("double quote"), std::string::npos) << message;
#if !defined(_WIN32)
    // Windows has no such local names; here they exist.
    CTempFile file(kTorrent, "in\"jected.torrent");
    const CResult r = Upload({.url = url, .file = file.Path()});
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 7999u);
    EXPECT_NE(r.message.find("double quote"), std::string::npos) << r.message;
#endif
    EXPECT_EQ(CapturedCount(), before);
}

TEST(VarnelE2E, NobodyListeningFailsCleanly) {
    CTempFile file(kTorrent);
    // Port 9 (discard) is not served on loopback here: the connection is refused at once.
    const CResult r =
        Upload({.url = "http://127.0.0.1:9/Down/download_job.cgi", .file = file.Path()});
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 7999u);
    EXPECT_EQ(r.message, "");
}

#if defined(MW_VARNEL_STATIC)

int LastDetail() {
    const auto errors = DunmoreRecorded().errors;
    return errors.empty() ? -1 : errors.back().nDetail;
}

TEST(VarnelExchange, DetailCodesOfTheAnswer) {
    REQUIRE_CAPTURE_SERVER();
    CTempFile file(kTorrent);
    struct {
        const char* path;
        int detail;
    } cases[] = {{"/message/x", 34}, {"/title/x", 67},     {"/lowertitle/x", 66},
                 {"/close/x", 33},   {"/size/102400", 65}, {"/cut/x", 68},
                 {"/reset/x", 68},   {"/unclosed/x", 34},  {"/status/413/empty", 70}};
    for (const auto& c : cases) {
        DunmoreClear();
        Upload({.url = CaptureUrl(c.path), .file = file.Path()});
        EXPECT_EQ(LastDetail(), c.detail) << c.path;
    }
    DunmoreClear();
    Upload({.url = "http://127.0.0.1:9/x", .file = file.Path()});
    EXPECT_EQ(LastDetail(), 20);
}

TEST(VarnelExchange, SilentServerEndsWithinTheLimit) {
    REQUIRE_CAPTURE_SERVER();
    SetHttpLimits({2000, 2000});
    CTempFile file(kTorrent);
    DunmoreClear();
    const auto start = std::chrono::steady_clock::now();
    const CResult r = Upload({.url = CaptureUrl("/silent/x"), .file = file.Path()});
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    SetHttpLimits({});
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 7999u);
    EXPECT_LT(seconds, 10); // bounded by the injected limit, far below the default
    EXPECT_EQ(LastDetail(), 33);
}

// A byte every 200 ms never trips the idle limit; the whole answer's limit ends the call.
TEST(VarnelExchange, TricklingAnswerEndsWithinTheAnswerLimit) {
    REQUIRE_CAPTURE_SERVER();
    SetHttpLimits({2000, 1000, 1500});
    CTempFile file(kTorrent);
    DunmoreClear();
    const auto start = std::chrono::steady_clock::now();
    const CResult r = Upload({.url = CaptureUrl("/trickle/x"), .file = file.Path()});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 7999u);
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(LastDetail(), 68);
    // The page takes about 24 s to trickle; the answer limit ends the call long before.
    EXPECT_LT(elapsed, std::chrono::seconds(8));

    // The same with the status line and headers trickling: the limit holds from the request's
    // end, not from the answer's first byte. Under Wine the call inside HttpEndRequestA cannot be
    // cancelled (Windows cancels it when the guard closes the handle), so there the head ends the
    // call only once it has arrived, failed all the same.
    DunmoreClear();
    const auto headStart = std::chrono::steady_clock::now();
    const CResult h = Upload({.url = CaptureUrl("/trickle-head/x"), .file = file.Path()});
    const auto headElapsed = std::chrono::steady_clock::now() - headStart;
    SetHttpLimits({});
    EXPECT_EQ(h.ret, 0);
    EXPECT_EQ(h.code, 7999u);
#if !defined(_WIN32)
    EXPECT_LT(headElapsed, std::chrono::seconds(8));
#else
    EXPECT_LT(headElapsed, std::chrono::seconds(40));
#endif
}

#endif

} // namespace
