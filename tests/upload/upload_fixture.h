// Shared fixture of the upload tests: a temporary .torrent, a parameter record, and the capture
// server's address and stored requests; portable test support.
#pragma once

#include "upload/varnel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// A file in the temporary folder, removed again.
class CTempFile {
public:
    explicit CTempFile(const std::string& content, const std::string& name = "sample.torrent") {
        // Test programs run side by side: a random run tag keeps their files apart.
        static const std::string run = std::to_string(std::random_device{}());
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("mw-upload-" + run + "-" + std::to_string(counter++) + "-" + name);
        std::ofstream(m_path, std::ios::binary) << content;
    }
    ~CTempFile() {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// A parameter record whose texts it owns.
struct CParam {
    std::string url, file, user = "admin", pw = "secret", share = "Public", subdir = "/Public/dl",
                           thisFile = "down_job.htm", todo = "save", hShare = "Public",
                           hProto = "1", hTorrent = "local";
    NAS_BTDOWNLOAD_PARAM Get() const {
        return {url.c_str(),    file.c_str(),   user.c_str(),     pw.c_str(),
                share.c_str(),  subdir.c_str(), thisFile.c_str(), todo.c_str(),
                hShare.c_str(), hProto.c_str(), hTorrent.c_str()};
    }
};

// The capture server started by tests/upload/with-capture-server.
inline bool HaveCaptureServer() {
    return std::getenv("MW_CAPTURE_PORT") != nullptr;
}

inline std::string CaptureUrl(const std::string& path) {
    const char* port = std::getenv("MW_CAPTURE_PORT");
    return "http://127.0.0.1:" + std::string(port ? port : "9") + path;
}

inline int CapturedCount() {
    int n = 0;
    const char* dir = std::getenv("MW_CAPTURE_DIR");
    for (const auto& entry : std::filesystem::directory_iterator(dir ? dir : "."))
        if (entry.path().filename().string().rfind("req-", 0) == 0 &&
            entry.path().extension() == ".bin")
            ++n;
    return n;
}

// The newest raw request the capture server stored.
inline std::string LastCapturedRequest() {
    const std::filesystem::path file = std::filesystem::path(std::getenv("MW_CAPTURE_DIR")) /
                                       ("req-" + std::to_string(CapturedCount()) + ".bin");
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#define REQUIRE_CAPTURE_SERVER()                                                                   \
    if (!HaveCaptureServer())                                                                      \
    GTEST_SKIP() << "run through tests/upload/with-capture-server"
