// The multipart body byte for byte; portable tests.
#include "upload/body.h"

#include <gtest/gtest.h>

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

std::string Build(const std::string& fileName, const std::string& content, const CFormTexts& t) {
    const CBodyFrame frame = MakeBodyFrame(fileName, t);
    std::vector<char> body(frame.Length(content.size()), 'X');
    std::copy(content.begin(), content.end(), body.begin() + frame.strHead.size());
    WriteBodyFrame(frame, content.size(), body.data());
    return std::string(body.begin(), body.end());
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

TEST(Body, LongTextsAreCarriedWhole) {
    const std::string longText(5000, 's');
    const std::string longName(3000, 'n');
    const std::string body = Build(longName, "", {longText, "", "", "", "", "", longText});
    EXPECT_EQ(body.size(), 1171u + 3000 + 10000);
    EXPECT_NE(body.find(Part("h_torrent", longText)), std::string::npos);
}

} // namespace
