// Unit tests of the reference device's parsers: torrents, discovery datagrams, folders and file
// names; portable.
#include "device/datagram.h"
#include "device/job_store.h"
#include "device/log.h"
#include "device/torrent.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

TEST(DeviceTorrent, AcceptsWellFormedTorrentAndSpansItsInfo) {
    const std::string info = "d4:name1:a12:piece lengthi16384e6:pieces0:e";
    const std::string data = "d8:announce3:url4:info" + info + "e";
    std::string_view span;
    std::string why;
    ASSERT_TRUE(CheckTorrent(data, span, why)) << why;
    EXPECT_EQ(span, info);
    // The info hash of "d4:name1:ae".
    EXPECT_EQ(InfoHashHex("d4:name1:ae"), "9e3f71178c577dcb032d2d7dfbb436d21769d456");

    std::string big = mwtest::MakeTorrent("big", 5120, 7);
    EXPECT_TRUE(CheckTorrent(big, span, why)) << why;
}

TEST(DeviceTorrent, RefusesMalformedData) {
    const char* const cases[] = {
        "",
        "hello world",
        "le",                                    // a list, not a dictionary
        "d4:infod4:name1:ae",                    // unterminated
        "d4:infod4:name1:aee garbage",           // bytes after the value
        "d4:name1:ae",                           // no info
        "d4:info3:abce",                         // info is not a dictionary
        "d4:infod4:namei01eee",                  // leading zero
        "d4:infod4:namei-0eee",                  // negative zero
        "d4:infod4:nameiee",                     // empty integer
        "d4:infod4:name9:abee",                  // string runs past the end
        "d4:infod4:name99999999999999999999:ee", // absurd length
        "di1e4:infod4:name1:aee",                // non-string key
        "d4:infod4:name1:axee",                  // unexpected byte
    };
    for (const char* data : cases) {
        std::string_view span;
        std::string why;
        EXPECT_FALSE(CheckTorrent(data, span, why)) << data;
        EXPECT_FALSE(why.empty()) << data;
    }
    // Deep nesting is refused, not followed down the stack.
    std::string deep = "d4:info" + std::string(100000, 'l') + std::string(100000, 'e') + "e";
    std::string_view span;
    std::string why;
    EXPECT_FALSE(CheckTorrent(deep, span, why));
}

std::vector<std::uint8_t> AccountCheck(const CMacAddress& mac, const std::string& user,
                                       const std::string& password) {
    std::vector<std::uint8_t> d(49, 0);
    d[0] = 0x41;
    d[4] = 0x34;
    d[5] = 0x12;
    d[6] = 41;
    std::memcpy(&d[8], mac.data(), 6);
    std::memcpy(&d[14], user.data(), std::min<std::size_t>(user.size(), 20));
    std::memcpy(&d[34], password.data(), std::min<std::size_t>(password.size(), 15));
    return d;
}

TEST(DeviceDatagram, SearchReplyLayout) {
    const std::uint8_t search[8] = {0x10, 0, 0, 0, 0xff, 0xff, 0, 0};
    std::string why;
    auto request = ParseDiscoveryRequest(search, sizeof search, why);
    ASSERT_TRUE(request) << why;
    const CMacAddress mac = {0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    const std::uint8_t ip[4] = {10, 1, 2, 3};
    std::uint32_t ipRaw = 0;
    std::memcpy(&ipRaw, ip, 4);
    auto reply = BuildSearchReply(*request, 0, mac, "fifteen-bytes-x", ipRaw);
    ASSERT_GE(reply.size(), 123u);
    EXPECT_EQ(reply[2] | reply[3] << 8, 0);                     // status
    EXPECT_EQ(reply[4] | reply[5] << 8, 0xffff);                // sequence echoed
    EXPECT_EQ(reply[6] | reply[7] << 8, int(reply.size()) - 8); // length
    EXPECT_EQ(0, std::memcmp(&reply[28], mac.data(), 6));
    EXPECT_EQ(0, std::memcmp(&reply[34], "fifteen-bytes-x", 15)); // all 15 bytes, no terminator
    EXPECT_EQ(0, std::memcmp(&reply[119], ip, 4));
}

TEST(DeviceDatagram, MalformedRequestsAreRefused) {
    const CMacAddress mac = {2, 0, 0, 0, 0, 1};
    auto check = AccountCheck(mac, "admin", "secret");
    struct Case {
        const char* what;
        std::vector<std::uint8_t> data;
    } cases[] = {
        {"empty", {}},
        {"short header", {0x10, 0, 0, 0, 0, 0, 0}},
        {"unknown type", {0x11, 0, 0, 0, 0, 0, 0, 0}},
        {"non-zero status", {0x10, 0, 1, 0, 0, 0, 0, 0}},
        {"length beyond datagram", {0x10, 0, 0, 0, 0, 0, 5, 0}},
        {"short account check", std::vector<std::uint8_t>(check.begin(), check.begin() + 40)},
        {"a reply of ours", {0x10, 0x80, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseDiscoveryRequest(c.data.data(), c.data.size(), why)) << c.what;
    }
}

TEST(DeviceDatagram, AccountCheckMatchesAsFarAsTheFieldsCarry) {
    const CMacAddress mac = {2, 0, 0, 0, 0, 1};
    struct Case {
        std::string user, password; // sent
        CDeviceAccount account;     // configured
        bool bMatch;
    } cases[] = {
        {"admin", "secret", {"admin", "secret"}, true},
        {"admin", "wrong", {"admin", "secret"}, false},
        {"admin", "", {"admin", ""}, true},
        {"admin", "", {"admin", "secret"}, false},
        {"Admin", "secret", {"admin", "secret"}, false},
        // 20-byte user and 15-byte password fill their fields; longer ones are cut.
        {"a-user-of-20-bytes-x",
         "pw-of-15-bytes!",
         {"a-user-of-20-bytes-x", "pw-of-15-bytes!"},
         true},
        {"a-user-of-20-bytes-xyz",
         "pw-of-15-bytes!!!",
         {"a-user-of-20-bytes-xyz", "pw-of-15-bytes!!!"},
         true},
    };
    for (const auto& c : cases) {
        auto data = AccountCheck(mac, c.user, c.password);
        std::string why;
        auto request = ParseDiscoveryRequest(data.data(), data.size(), why);
        ASSERT_TRUE(request) << why;
        EXPECT_EQ(request->mac, mac);
        EXPECT_EQ(request->nSequence, 0x1234);
        EXPECT_EQ(AccountCheckMatches(*request, c.account), c.bMatch)
            << c.user << ":" << c.password;
    }
}

TEST(DeviceJobs, SubfolderStaysInsideTheShare) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(SplitSubfolder(""), Names{});
    EXPECT_EQ(SplitSubfolder("/"), Names{});
    EXPECT_EQ(SplitSubfolder("/movies/new"), (Names{"movies", "new"}));
    EXPECT_EQ(SplitSubfolder("\\a\\\\b/./c/"), (Names{"a", "b", "c"}));
    EXPECT_EQ(SplitSubfolder("/a..b/..c"), (Names{"a..b", "..c"}));
    for (const char* bad : {"..", "/..", "/a/../b", "a\\..\\..", "/a/.."}) {
        EXPECT_FALSE(SplitSubfolder(bad)) << bad;
    }
    EXPECT_FALSE(SplitSubfolder(std::string("a\0b", 3)));
}

// Every level costs a folder, so the depth and the lengths are bounded; folder names are cleaned
// of control and reserved characters as file names are.
TEST(DeviceJobs, SubfolderIsBoundedAndCleaned) {
    using Names = std::vector<std::string>;
    auto levels = [](std::size_t n) {
        std::string path;
        for (std::size_t i = 0; i < n; ++i) {
            path += "/d";
        }
        return path;
    };
    EXPECT_EQ(SplitSubfolder(levels(kMaxSubfolderDepth))->size(), kMaxSubfolderDepth);
    EXPECT_FALSE(SplitSubfolder(levels(kMaxSubfolderDepth + 1)));
    EXPECT_FALSE(SplitSubfolder(levels(100000)));
    EXPECT_TRUE(SplitSubfolder("/" + std::string(kMaxFolderName, 'n')));
    EXPECT_FALSE(SplitSubfolder("/" + std::string(kMaxFolderName + 1, 'n')));
    // Separators and dots count toward the whole length even where no level comes of them.
    EXPECT_FALSE(SplitSubfolder(std::string(kMaxSubfolderLength + 1, '/')));

    EXPECT_EQ(SplitSubfolder("/new\tline\nfolder/a:b|c\x7f"), (Names{"new_line_folder", "a_b_c_"}));
}

TEST(DeviceLog, ControlCharactersAreBlanked) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"GET /a\r\nmarlowick-device: forged", "GET /a  marlowick-device: forged"},
        {"\x1b[2J\x1b]0;title\x07", " [2J ]0;title "},
        {"tab\there\x7f", "tab here "},
        {"c1 \xc2\x9b"
         "31m and \xc2\x85",
         "c1  31m and  "},
        {"Ünïcode € 😀 ok", "Ünïcode € 😀 ok"},
        {"raw \x9b, \xff, cut \xe2\x82, overlong \xc0\xaf, surrogate \xed\xa0\x80",
         "raw ?, ?, cut ??, overlong ??, surrogate ???"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogSafe(c.in), c.out) << c.in;
    }
}

TEST(DeviceJobs, SafeFileNames) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"movie.torrent", "movie.torrent"},
        {"C:\\Users\\me\\Downloads\\movie.torrent", "movie.torrent"},
        {"/etc/passwd", "passwd"},
        {"..", "upload.torrent"},
        {"", "upload.torrent"},
        {".hidden.torrent", "hidden.torrent"},
        {"a:b*c?d\"e<f>g|h\x01.torrent", "a_b_c_d_e_f_g_h_.torrent"},
        {"Ünïcode ok.torrent", "Ünïcode ok.torrent"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SafeFileName(c.in), c.out) << c.in;
    }
    std::string longName = std::string(300, 'x') + ".torrent";
    std::string safe = SafeFileName(longName);
    EXPECT_LE(safe.size(), 201u);
    EXPECT_EQ(safe.substr(safe.size() - 8), ".torrent");
}

// What one store records, a store opened later on the same folder knows again, whatever bytes the
// names hold; a damaged record line is skipped, not fatal.
TEST(DeviceJobs, RecordsSurviveReopening) {
    namespace fs = std::filesystem;
    std::string root = (fs::temp_directory_path() / "mw-jobstore-XXXXXX").string();
    ASSERT_NE(mkdtemp(root.data()), nullptr);
    fs::create_directories(root + "/share");
    const CDeviceShare share{"pub\tlic%", root + "/share"};
    std::string error;
    std::vector<CJobRecord> taken;
    {
        CJobStore store;
        ASSERT_TRUE(store.Open(root, error)) << error;
        CJobRecord record;
        auto outcome = store.Submit(share, "/tab\there/100%25/new\nline", "C:\\x\\%41 odd.torrent",
                                    mwtest::MakeTorrent("a"), record);
        ASSERT_EQ(outcome.eResult, EJobResult::Taken) << outcome.strRefusal;
        outcome = store.Submit(share, "", "b.torrent", mwtest::MakeTorrent("b", 4, 2), record);
        ASSERT_EQ(outcome.eResult, EJobResult::Taken) << outcome.strRefusal;
        taken = store.Jobs();
    }
    std::ofstream(root + "/jobs.txt", std::ios::app) << "not a record\n";

    CJobStore reopened;
    ASSERT_TRUE(reopened.Open(root, error)) << error;
    auto jobs = reopened.Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ(jobs[i].strInfoHash, taken[i].strInfoHash);
        EXPECT_EQ(jobs[i].strShare, "pub\tlic%");
        EXPECT_EQ(jobs[i].strFolder, taken[i].strFolder);
        EXPECT_EQ(jobs[i].strFile, taken[i].strFile);
        EXPECT_EQ(jobs[i].nSize, taken[i].nSize);
        EXPECT_EQ(jobs[i].strTime, taken[i].strTime);
    }
    // Folder names lose their control characters on the way in, as file names do.
    EXPECT_EQ(jobs[0].strFolder, "/tab_here/100%25/new_line");
    EXPECT_EQ(jobs[0].strFile, "%41 odd.torrent");
    EXPECT_EQ(jobs[1].strFolder, "/");
    EXPECT_TRUE(fs::exists(root + "/share/tab_here/100%25/new_line/%41 odd.torrent"));

    CJobRecord record;
    EXPECT_EQ(
        reopened.Submit(share, "/elsewhere", "a.torrent", mwtest::MakeTorrent("a"), record).eResult,
        EJobResult::Duplicate);
    fs::remove_all(root);
}

} // namespace
