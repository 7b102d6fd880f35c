// The upload functions' validation, file errors, logging and failure records, observed through
// the recording logging library; portable tests.
#include "upload_fixture.h"

#include "outside/dunmore/dunmore_recording.h"
#include "platform/http.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class VarnelCalls : public ::testing::Test {
protected:
    void SetUp() override { DunmoreClear(); }

    // The one error the call recorded.
    CDunmoreError OnlyError() {
        const auto errors = DunmoreRecorded().errors;
        EXPECT_EQ(errors.size(), 1u);
        return errors.empty() ? CDunmoreError{} : errors.front();
    }
};

TEST_F(VarnelCalls, ValidationFailsAtOnceWithItsDetail) {
    CTempFile file("d4:infod4:name1:aee");
    struct {
        const char* label;
        CParam param;
        int detail;
    } cases[] = {
        {"empty url", {.url = "", .file = file.Path()}, 1},
        {"empty file name", {.url = "http://127.0.0.1:9/x", .file = ""}, 2},
        {"empty user", {.url = "http://127.0.0.1:9/x", .file = file.Path(), .user = ""}, 3},
    };
    for (auto& c : cases) {
        DunmoreClear();
        const NAS_BTDOWNLOAD_PARAM p = c.param.Get();
        std::string message = "stale";
        VARNEL_DWORD code = 1;
        EXPECT_EQ(varnel_NAS_BTDownloadForLocalFile2(&p, &message, &code), 0) << c.label;
        EXPECT_EQ(code, 7999u) << c.label;
        EXPECT_EQ(message, "") << c.label;
        const CDunmoreError e = OnlyError();
        EXPECT_EQ(e.nDetail, c.detail) << c.label;
        EXPECT_FALSE(e.bHasText) << c.label;
        EXPECT_EQ(e.nComponent, 7);
        EXPECT_EQ(e.nSeverity, 4);
        EXPECT_EQ(e.nExtra, 0);
    }

    DunmoreClear();
    std::string message = "stale";
    VARNEL_DWORD code = 0;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFile2(nullptr, &message, &code), 0);
    EXPECT_EQ(code, 7999u);
    EXPECT_EQ(message, "");
    EXPECT_EQ(OnlyError().nDetail, 29);
    EXPECT_EQ(DunmoreRecorded().lines.size(), 1u); // nothing logged past the first line

    DunmoreClear();
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(OnlyError().nDetail, 36);
}

TEST_F(VarnelCalls, MissingFileIsAFileErrorBeforeAnyNetwork) {
    CParam param{.url = "http://127.0.0.1:9/Down/download_job.cgi",
                 .file = (std::filesystem::temp_directory_path() / "mw-no-such.torrent").string()};
    const NAS_BTDOWNLOAD_PARAM p = param.Get();
    VARNEL_DWORD code = 0;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFile(&p, &code), 0);
    EXPECT_EQ(code, 7999u);
    const CDunmoreError e = OnlyError();
    EXPECT_EQ(e.nDetail, 7);
    EXPECT_NE(e.strText.find("mw-no-such.torrent"), std::string::npos) << e.strText;
    for (const auto& line : DunmoreRecorded().lines)
        EXPECT_EQ(line.find("InternetCrackUrl"), std::string::npos);
}

// Only a regular file is read: a FIFO would block the call for ever, a device never end, and each
// is named for what it is.
TEST_F(VarnelCalls, OnlyARegularFileIsRead) {
    const auto dir = std::filesystem::temp_directory_path();
    struct {
        std::string path;
        const char* kind;
    } cases[] = {
#if defined(_WIN32)
        {"NUL", "a device"},
#else
        {(dir / ("mw-fifo-" + std::to_string(::getpid()) + ".torrent")).string(), "a FIFO"},
        {"/dev/zero", "a character device"},
#endif
        {dir.string(), "directory"},
    };
#if !defined(_WIN32)
    ASSERT_EQ(::mkfifo(cases[0].path.c_str(), 0600), 0);
#endif
    for (const auto& c : cases) {
        DunmoreClear();
        CParam param{.url = "http://127.0.0.1:9/x", .file = c.path};
        const NAS_BTDOWNLOAD_PARAM p = param.Get();
        VARNEL_DWORD code = 0;
        EXPECT_EQ(varnel_NAS_BTDownloadForLocalFile2(&p, nullptr, &code), 0) << c.path;
        EXPECT_EQ(code, 7999u);
        const CDunmoreError e = OnlyError();
        EXPECT_EQ(e.nDetail, 7) << c.path;
        EXPECT_NE(e.strText.find(c.kind), std::string::npos) << e.strText;
        EXPECT_NE(e.strText.find("not a regular file"), std::string::npos) << e.strText;
    }
#if !defined(_WIN32)
    std::filesystem::remove(cases[0].path);
#endif
}

// Content whose body length cannot be announced in 32 signed bits says so in the message.
TEST_F(VarnelCalls, TooLargeContentSaysWhy) {
    const unsigned char byte = 0;
    NAS_BTDOWNLOAD_PARAM_EX p{"http://127.0.0.1:9/x",
                              u"",
                              "big.torrent",
                              &byte,
                              std::uint64_t{1} << 31,
                              "admin",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              ""};
    std::string message;
    VARNEL_DWORD code = 0;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, &message, &code), 0);
    EXPECT_EQ(code, 7999u);
    EXPECT_NE(message.find("too large"), std::string::npos) << message;
    EXPECT_EQ(OnlyError().nDetail, 12);
}

TEST_F(VarnelCalls, UnsplittableUrlFailsBeforeConnecting) {
    CTempFile file("d4:infod4:name1:aee");
    CParam param{.url = "not a url", .file = file.Path()};
    const NAS_BTDOWNLOAD_PARAM p = param.Get();
    VARNEL_DWORD code = 0;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFile2(&p, nullptr, &code), 0);
    EXPECT_EQ(code, 7999u);
    const CDunmoreError e = OnlyError();
    EXPECT_EQ(e.nDetail, 24);
    EXPECT_TRUE(e.bHasText);
    EXPECT_NE(e.strText.find(" ("), std::string::npos); // "<system text> (<code>)"
}

TEST_F(VarnelCalls, PasswordNeverLoggedInClear) {
    CTempFile file("x");
    CParam param{.url = "", .file = file.Path(), .pw = "Sup3rSecret"};
    const NAS_BTDOWNLOAD_PARAM p = param.Get();
    varnel_NAS_BTDownloadForLocalFile2(&p, nullptr, nullptr);
    bool sawUserLine = false;
    for (const auto& line : DunmoreRecorded().lines) {
        EXPECT_EQ(line.find("Sup3rSecret"), std::string::npos) << line;
        if (line == "     user = [admin], pw = [***]")
            sawUserLine = true;
    }
    EXPECT_TRUE(sawUserLine);
}

TEST_F(VarnelCalls, ExNameRules) {
    const unsigned char data[] = "d4:infod4:name1:aee";
    NAS_BTDOWNLOAD_PARAM_EX p{"http://127.0.0.1:9/x",
                              u"",
                              nullptr,
                              data,
                              sizeof data - 1,
                              "admin",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              ""};
    VARNEL_DWORD code = 0;
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, nullptr, &code), 0);
    EXPECT_EQ(code, 7999u);
    EXPECT_EQ(OnlyError().nDetail, 38);

    DunmoreClear();
    p.url = "";
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, nullptr, &code), 0);
    EXPECT_EQ(OnlyError().nDetail, 37);

    DunmoreClear();
    p.url = "http://127.0.0.1:9/x";
    p.filename_w = u"wide.torrent";
    p.user = "";
    EXPECT_EQ(varnel_NAS_BTDownloadForLocalFileEx(&p, nullptr, &code), 0);
    EXPECT_EQ(OnlyError().nDetail, 39);
    for (const auto& line : DunmoreRecorded().lines)
        EXPECT_EQ(line.find("local filename"), std::string::npos);
}

} // namespace
