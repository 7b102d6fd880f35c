// The upload honours a proxy named in the usual environment variables; Linux test (Windows takes
// the system's configured proxy instead).
#include "upload_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(VarnelProxy, RequestGoesThroughTheConfiguredProxy) {
    REQUIRE_CAPTURE_SERVER();
    // The capture server plays the proxy; the device's name is never resolved.
    const std::string proxy = CaptureUrl("");
    setenv("http_proxy", proxy.c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    CTempFile file("d4:infod4:name1:aee");
    CParam param{.url = "http://nas-proxied.invalid/ok/Down/download_job.cgi", .file = file.Path()};
    const NAS_BTDOWNLOAD_PARAM p = param.Get();
    VARNEL_DWORD code = 1;
    std::string message;
    const int ret = varnel_NAS_BTDownloadForLocalFile2(&p, &message, &code);
    unsetenv("http_proxy");
    const std::string raw = LastCapturedRequest();
    EXPECT_EQ(raw.substr(0, raw.find("\r\n")),
              "POST http://nas-proxied.invalid/ok/Down/download_job.cgi HTTP/1.1");
    EXPECT_NE(raw.find("\r\nHost: nas-proxied.invalid\r\n"), std::string::npos);
    // The capture server answers by path: an absolute target is not one it knows.
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(code, 7999u);
    EXPECT_EQ(message, "Not Found");
}

} // namespace
