// The logging library Dunmore: records in one per-user file, whole under concurrent calls, and
// bounded in size; Linux tests (the log's place comes from XDG_STATE_HOME).
#include "outside/dunmore/dunmore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::filesystem::path LogPath() {
    return std::filesystem::path(std::getenv("XDG_STATE_HOME")) / "marlowick" / "marlowick.log";
}

std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::ifstream in(LogPath());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every run starts from an empty log folder, before the library opens its file.
class CFreshLogFolder : public ::testing::Environment {
public:
    void SetUp() override { std::filesystem::remove_all(LogPath().parent_path()); }
};
const auto* const g_pFreshLogFolder = ::testing::AddGlobalTestEnvironment(new CFreshLogFolder);

TEST(Dunmore, RecordsAreWholeAndStampedUnderConcurrentCalls) {
    qvSetLogLevel(2);
    const std::size_t before = Lines().size();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                qvLog("thread %d line %d %s", t, i, "payload-payload-payload");
        });
    for (auto& th : threads)
        th.join();
    qvSetError("Connection refused (12029)", 7, 4, 20, 0);
    qvSetError(nullptr, 7, 4, 29, 0);

    const auto lines = Lines();
    ASSERT_EQ(lines.size(), before + 802);
    int traces = 0;
    for (std::size_t i = before; i < before + 800; ++i) {
        // "YYYY-MM-DD HH:MM:SS.mmm [thread] TRACE thread T line N payload-..."
        EXPECT_EQ(lines[i][4], '-') << lines[i];
        EXPECT_NE(lines[i].find("] TRACE thread "), std::string::npos) << lines[i];
        traces += lines[i].size() > 23 &&
                  lines[i].substr(lines[i].size() - 23) == "payload-payload-payload";
    }
    EXPECT_EQ(traces, 800);
    EXPECT_NE(lines[before + 800].find("ERROR component=7 severity=4 detail=20 extra=0 text="
                                       "Connection refused (12029)"),
              std::string::npos);
    EXPECT_NE(lines[before + 801].find("detail=29 extra=0"), std::string::npos);
    EXPECT_EQ(lines[before + 801].find("text="), std::string::npos);
}

TEST(Dunmore, LevelZeroWritesNothing) {
    const std::size_t before = Lines().size();
    qvSetLogLevel(0);
    qvLog("hidden");
    qvSetError("hidden", 7, 4, 1, 0);
    qvSetLogLevel(2);
    EXPECT_EQ(Lines().size(), before);
}

TEST(Dunmore, LogIsBoundedBySettingOneGenerationAside) {
    const std::string big(1000, 'x');
    for (int i = 0; i < 2500; ++i)
        qvLog("%s", big.c_str());
    auto aside = LogPath();
    aside += ".1";
    EXPECT_TRUE(std::filesystem::exists(aside));
    EXPECT_LE(std::filesystem::file_size(aside), 1024u * 1024 + 1100);
    EXPECT_LT(std::filesystem::file_size(LogPath()), 1024u * 1024);
}

} // namespace
