// Load on the reference device: 200 uploads of a 100 KiB torrent from 8 concurrent curl clients,
// none lost and each recorded once; prints the requests per second it reached. Linux test.
#include "tests/device/device_fixture.h"
#include "tests/device/device_http.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

using namespace mwtest;

namespace {

constexpr int kUploads = 200;
constexpr int kClients = 8;
constexpr std::size_t kPieces = 5120; // 20 bytes each: a torrent of a little over 100 KiB

TEST(DeviceLoad, ConcurrentUploadsAreAllRecordedOnce) {
    CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    const std::string dir = device.Root() + "/load";
    std::filesystem::create_directories(dir);
    std::vector<std::string> files;
    for (int i = 0; i < kUploads; ++i) {
        files.push_back(dir + "/load-" + std::to_string(i) + ".torrent");
        WriteTorrent(files.back(), MakeTorrent("load-" + std::to_string(i), kPieces,
                                               static_cast<std::uint32_t>(i + 1)));
    }
    ASSERT_GE(std::filesystem::file_size(files[0]), 100u * 1024);

    std::vector<CHttpAnswer> answers(kUploads);
    std::atomic<int> next{0};
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            for (int i = next++; i < kUploads; i = next++) {
                CJobForm form;
                form.strFile = files[static_cast<std::size_t>(i)];
                answers[static_cast<std::size_t>(i)] = PostForm(device.JobUrl(), form);
            }
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("device load: %d uploads of a %ju-byte torrent from %d concurrent curl clients in "
                "%.2f s: %.1f requests per second\n",
                kUploads, static_cast<std::uintmax_t>(std::filesystem::file_size(files[0])),
                kClients, seconds, kUploads / seconds);

    int nAccepted = 0;
    for (int i = 0; i < kUploads; ++i) {
        const auto& answer = answers[static_cast<std::size_t>(i)];
        bool bOk = answer.nStatus == 200 && MessageValue(answer.strBody) == "";
        EXPECT_TRUE(bOk) << "upload " << i << ": curl " << answer.nCurlExit << ", HTTP "
                         << answer.nStatus << "\n"
                         << answer.strBody;
        nAccepted += bOk ? 1 : 0;
    }
    EXPECT_EQ(nAccepted, kUploads);

    // Every job stored once and recorded once, with a distinct info hash.
    std::set<std::string> stored;
    for (const auto& entry : std::filesystem::directory_iterator(device.ShareDir() + "/movies")) {
        stored.insert(entry.path().filename().string());
    }
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(kUploads));
    for (int i = 0; i < kUploads; ++i) {
        EXPECT_EQ(stored.count("load-" + std::to_string(i) + ".torrent"), 1u) << i;
    }
    std::istringstream records(ReadFileText(device.StateDir() + "/jobs.txt"));
    std::set<std::string> hashes;
    int nLines = 0;
    for (std::string line; std::getline(records, line); ++nLines) {
        auto tab = line.find('\t');
        hashes.insert(line.substr(tab + 1, 40));
    }
    EXPECT_EQ(nLines, kUploads);
    EXPECT_EQ(hashes.size(), static_cast<std::size_t>(kUploads));
    EXPECT_NE(Curl(device.StatusUrl(), {}).strBody.find("<P>200 job(s)</P>"), std::string::npos);

    EXPECT_EQ(device.Stop(), 0);
}

} // namespace
