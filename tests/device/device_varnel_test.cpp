// The upload library against the reference device: an accepted job, the device's refusals and each
// answer fault, with the result code, message and detail code that the library gives; Linux tests.
#include "outside/dunmore/dunmore_recording.h"
#include "platform/http.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"
#include "upload/varnel.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace mwtest;

namespace {

struct CUploadOutcome {
    int nReturn = -1;
    VARNEL_DWORD nCode = 0;
    std::string strMessage;
    int nDetail = 0; // the last detail code the library recorded, 0 when none
};

CUploadOutcome Upload(const CDeviceProcess& device, const std::string& share = "public",
                      const std::string& password = CDeviceProcess::kPassword) {
    const std::string url = device.JobUrl();
    const std::string file = device.Root() + "/upload.torrent";
    WriteTorrent(file, MakeTorrent("upload", 4, 5));
    NAS_BTDOWNLOAD_PARAM param{url.c_str(),
                               file.c_str(),
                               CDeviceProcess::kUser,
                               password.c_str(),
                               share.c_str(),
                               "/incoming",
                               "down_job.htm",
                               "save",
                               share.c_str(),
                               "1",
                               "local"};
    DunmoreClear();
    CUploadOutcome outcome;
    outcome.strMessage = "unchanged";
    outcome.nReturn =
        varnel_NAS_BTDownloadForLocalFile2(&param, &outcome.strMessage, &outcome.nCode);
    auto record = DunmoreRecorded();
    if (!record.errors.empty()) {
        outcome.nDetail = record.errors.back().nDetail;
    }
    return outcome;
}

TEST(DeviceVarnel, AcceptedJobIsStored) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    auto outcome = Upload(device);
    EXPECT_EQ(outcome.nReturn, 1);
    EXPECT_EQ(outcome.strMessage, "");
    EXPECT_EQ(ReadFileText(device.ShareDir() + "/incoming/upload.torrent"),
              MakeTorrent("upload", 4, 5));
    EXPECT_TRUE(device.WaitForLog("POST /Down/download_job.cgi 200 user admin job"))
        << device.Log();
}

// The device's job page up to the opening quote of its message value.
const std::string kPageToValue = "<HTML><HEAD><TITLE>Download Job</TITLE></HEAD><BODY>\n"
                                 "<FORM name=\"job\">\n"
                                 "<input type=\"hidden\" name=\"message\" value=\"";

TEST(DeviceVarnel, RefusalsAndAnswerFaults) {
    struct Case {
        const char* what;
        std::vector<std::string> flags;
        std::string share, password;
        int nReturn;
        std::string message;
        int nDetail;
    } cases[] = {
        {"unknown share", {}, "nosuch", "secret", 0, "No such share: nosuch", 34},
        {"wrong password", {}, "public", "guess", 0, "401 Unauthorized", 67},
        {"slow answer", {"--fault-delay", "500"}, "public", "secret", 1, "", 0},
        {"upper-case title",
         {"--fault-title", "DEVICE BUSY"},
         "public",
         "secret",
         0,
         "DEVICE BUSY",
         67},
        {"empty title", {"--fault-title", ""}, "public", "secret", 0, "", 35},
        {"no upper-case title", {"--fault-no-title"}, "public", "secret", 0, "", 66},
        {"answer one byte short of the limit",
         {"--fault-size", "102399"},
         "public",
         "secret",
         1,
         "",
         0},
        {"answer at the limit", {"--fault-size", "102400"}, "public", "secret", 0, "", 65},
        {"gzip-encoded answer", {"--fault-gzip"}, "public", "secret", 0, "", 66},
        {"closed without answer", {"--fault-close"}, "public", "secret", 0, "", 33},
        // A page cut inside the message value is never an acceptance: it fails with what
        // arrived of the value.
        {"refusal page cut inside its message",
         {"--fault-size", std::to_string(kPageToValue.size() + 7)},
         "nosuch",
         "secret",
         0,
         "No such",
         34},
        {"accepting page cut before its value closes",
         {"--fault-size", std::to_string(kPageToValue.size())},
         "public",
         "secret",
         0,
         "",
         34},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CDeviceProcess device(c.flags);
        ASSERT_TRUE(device.Start()) << device.Error();
        auto outcome = Upload(device, c.share, c.password);
        EXPECT_EQ(outcome.nReturn, c.nReturn);
        EXPECT_EQ(outcome.nCode, c.nReturn == 1 ? 0u : VARNEL_DWORD{NAS_BTDOWNLOAD_ERR_GENERAL});
        EXPECT_EQ(outcome.strMessage, c.message);
        if (c.nDetail != 0) {
            EXPECT_EQ(outcome.nDetail, c.nDetail);
        }
    }
}

TEST(DeviceVarnel, NeverAnsweredUploadTimesOut) {
    CDeviceProcess device({"--fault-no-answer"});
    ASSERT_TRUE(device.Start()) << device.Error();
    const CHttpLimits before = GetHttpLimits();
    SetHttpLimits({2000, 1000});
    auto start = std::chrono::steady_clock::now();
    auto outcome = Upload(device);
    auto elapsed = std::chrono::steady_clock::now() - start;
    SetHttpLimits(before);
    EXPECT_EQ(outcome.nReturn, 0);
    EXPECT_EQ(outcome.nCode, VARNEL_DWORD{NAS_BTDOWNLOAD_ERR_GENERAL});
    EXPECT_EQ(outcome.strMessage, "");
    EXPECT_LT(elapsed, std::chrono::seconds(20));
    // The device let go of the request once the library had given up.
    EXPECT_TRUE(device.WaitForLog("closed without answer")) << device.Log();
    EXPECT_EQ(device.Stop(), 0);
}

} // namespace
