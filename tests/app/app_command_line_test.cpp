// Start-up's decision from the command line, with the quoted path's rewriting; portable tests.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

struct CCase {
    const char* szLine;
    EStartMode eMode;
    const char* szPath;
};

TEST(CommandLine, DecisionTable) {
    const CCase cases[] = {
        {"", EStartMode::Settings, ""},
        {"/M", EStartMode::Monitor, ""},
        {"/m", EStartMode::Monitor, ""},
        {"/M ", EStartMode::File, "/M "},
        {" /M", EStartMode::File, " /M"},
        {"/MM", EStartMode::File, "/MM"},
        {"/N", EStartMode::File, "/N"},
        {" ", EStartMode::File, " "},
        // Quoted: quotes go, each backslash is doubled exactly once.
        {"\"C:\\a b\\x.torrent\"", EStartMode::File, "C:\\\\a b\\\\x.torrent"},
        {"\"\\\\server\\share\\x.torrent\"", EStartMode::File,
         "\\\\\\\\server\\\\share\\\\x.torrent"},
        {"\"/home/me/x.torrent\"", EStartMode::File, "/home/me/x.torrent"},
        {"\"\\\"", EStartMode::File, "\\\\"},
        {"\"a\"b\"", EStartMode::File, "a\"b"},
        {"\"\"", EStartMode::File, ""},
        {"\"", EStartMode::File, ""},
        // Not enclosed: kept as it is, backslashes and stray quotes included.
        {"C:\\a\\x.torrent", EStartMode::File, "C:\\a\\x.torrent"},
        {"\"C:\\a\\x.torrent", EStartMode::File, "\"C:\\a\\x.torrent"},
        {"C:\\a\\x.torrent\"", EStartMode::File, "C:\\a\\x.torrent\""},
        {" \"C:\\x\"", EStartMode::File, " \"C:\\x\""},
        {"\"C:\\x\" ", EStartMode::File, "\"C:\\x\" "},
        // The queue: "/Q" alone, or "/Q " and a path by the same rules.
        {"/Q", EStartMode::Queue, ""},
        {"/q", EStartMode::Queue, ""},
        {"/Q ", EStartMode::Queue, ""},
        {"/q C:\\a b\\x.torrent", EStartMode::Queue, "C:\\a b\\x.torrent"},
        {"/Q \"C:\\a\\x.torrent\"", EStartMode::Queue, "C:\\\\a\\\\x.torrent"},
        {"/QQ", EStartMode::File, "/QQ"},
        {" /Q", EStartMode::File, " /Q"},
    };
    for (const auto& c : cases) {
        const auto decision = DecideStart(c.szLine);
        EXPECT_EQ(decision.eMode, c.eMode) << c.szLine;
        EXPECT_EQ(decision.strTorrentFile, c.szPath) << c.szLine;
    }
}

TEST(CommandLine, ArgumentsJoinWithSingleBlanks) {
    const char* none[] = {"marlowick"};
    EXPECT_EQ(JoinArguments(1, none), "");
    const char* two[] = {"marlowick", "/home/me/my", "file.torrent"};
    EXPECT_EQ(JoinArguments(3, two), "/home/me/my file.torrent");
    const char* monitor[] = {"marlowick", "/m"};
    EXPECT_EQ(DecideStart(JoinArguments(2, monitor)).eMode, EStartMode::Monitor);
    const char* blank[] = {"marlowick", "/M", ""};
    EXPECT_EQ(DecideStart(JoinArguments(3, blank)).eMode, EStartMode::File);
}

} // namespace
