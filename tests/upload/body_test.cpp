// The multipart body byte for byte; portable tests.
#include "upload/body.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Delim() {
    return "-----------------------------7d576325502fe\r\n";
}

std::string Part(const std::string& name, const std::string& value) {
    return Delim() + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
           "\r\n";
}

// Pulls the whole body in pieces of chunk bytes; the content reader hands out at most
// readLimit bytes a call, so pieces and reads fall across every boundary.
std::string Pull(const CBodyFrame& frame, const std::string& content, std::uint64_t announced,
                 std::size_t chunk, std::size_t readLimit = 7) {
    std::size_t pos = 0;
    CBodyStream stream(frame, announced, [&](char* buffer, std::size_t size, std::size_t& got) {
        got = std::min({size, readLimit, content.size() - pos});
        std::copy_n(content.begin() + pos, got, buffer);
        pos += got;
        return true;
    });
    std::string body;
    std::vector<char> piece(chunk);
    std::size_t got = 0;
    while (stream.Next(piece.data(), piece.size(), got) && got > 0)
        body.append(piece.data(), got);
    EXPECT_EQ(body.size(), stream.Length());
    return body;
}

std::string Build(const std::string& fileName, const std::string& content, const CFormTexts& t) {
    const CBodyFrame frame = MakeBodyFrame(fileName, t);
    const std::string body = Pull(frame, content, content.size(), 1 << 16);
    for (std::size_t chunk : {1u, 3u, 44u, 1000u})
        EXPECT_EQ(Pull(frame, content, content.size(), chunk), body) << chunk;
    return body;
}

TEST(Body, WorkedExampleIsExactAndCountsTheFourZeroBytes) {
    const std::string name = "C:\\t\\a.torrent12"; // 16 characters, backslashes kept
    ASSERT_EQ(name.size(), 16u);
    const std::string content(100, '\x07');
    const std::string body = Build(name, content, {});
    EXPECT_EQ(body.size(), 1287u);

    const std::string expected =
        Part("proto", "bt") + Part("torrent", "on") + Delim() +
        "Content-Disposition: form-data; name=\"upfilename\"; filename=\"" + name + "\"\r\n" +
        "Content-Type: application/octet-stream\r\n\r\n" + content + "\r\n" +
        Part("share_list", "") + Part("subdir", "") + Part("this_file", "") + Part("todo", "") +
        Part("h_share_list", "") + Part("h_proto", "") + Part("h_torrent", "") +
        Part("finish", "") + "-----------------------------7d576325502fe--\r\n" +
        std::string(4, '\0');
    EXPECT_EQ(body, expected);
}

TEST(Body, FieldsInOrderAndFileBytesUntouched) {
    // Zero bytes and a delimiter look-alike inside the file are copied as they are.
    const std::string content = std::string("a\0b", 3) + Delim() + "--";
    const CFormTexts t{"Public", "/Public/dl", "down_job.htm", "save", "Public", "1", "local"};
    const std::string body = Build("x.torrent", content, t);
    EXPECT_EQ(body.size(), 1171u + 9 + content.size() + 6 + 10 + 12 + 4 + 6 + 1 + 5);
    const std::string tail = "\r\n" + Part("share_list", "Public") + Part("subdir", "/Public/dl") +
                             Part("this_file", "down_job.htm") + Part("todo", "save") +
                             Part("h_share_list", "Public") + Part("h_proto", "1") +
                             Part("h_torrent", "local") + Part("finish", "");
    EXPECT_NE(body.find("application/octet-stream\r\n\r\n" + content + tail), std::string::npos);
}

TEST(Body, EmptyFileGoesStraightToTheLineEnd) {
    const std::string body = Build("e.torrent", "", {});
    EXPECT_EQ(body.size(), 1171u + 9);
    EXPECT_NE(body.find("application/octet-stream\r\n\r\n\r\n" + Delim()), std::string::npos);
    EXPECT_EQ(body.substr(body.size() - 8), std::string("--\r\n") + std::string(4, '\0'));
}

TEST(Body, ContentThatEndsEarlyIsMadeUpWithZeros) {
    const CBodyFrame frame = MakeBodyFrame("f", {});
    const std::string body = Pull(frame, "abc", 10, 4);
    EXPECT_EQ(body.size(), frame.Length(10));
    EXPECT_EQ(body.substr(frame.strHead.size(), 10), std::string("abc") + std::string(7, '\0'));
}

TEST(Body, ContentReadErrorStopsTheStream) {
    const CBodyFrame frame = MakeBodyFrame("f", {});
    CBodyStream stream(frame, 100, [](char*, std::size_t, std::size_t&) { return false; });
    std::vector<char> piece(4096);
    std::size_t got = 0;
    EXPECT_FALSE(stream.Next(piece.data(), piece.size(), got));
    EXPECT_TRUE(stream.ContentFailed());
}

TEST(Body, LongTextsAreCarriedWhole) {
    const std::string longText(5000, 's');
    const std::string longName(3000, 'n');
    const std::string body = Build(longName, "", {longText, "", "", "", "", "", longText});
    EXPECT_EQ(body.size(), 1171u + 3000 + 10000);
    EXPECT_NE(body.find(Part("h_torrent", longText)), std::string::npos);
}

} // namespace
