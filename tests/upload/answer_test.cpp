// Judging the device's answer page; portable tests.
#include "upload/answer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

const std::string kMarker = "<input type=\"hidden\" name=\"message\" value=\"";

struct CCase {
    const char* label;
    std::string page;
    EAnswerVerdict verdict;
    std::string text;
};

TEST(Answer, Verdicts) {
    using V = EAnswerVerdict;
    const CCase cases[] = {
        {"empty value", "<TITLE>Job</TITLE>" + kMarker + "\">", V::Accepted, ""},
        // A value that never closes is a page cut short: it fails with what arrived of it.
        {"marker without closing quote", "<p>" + kMarker + "abc", V::Unfinished, "abc"},
        {"marker ends the page", "<p>" + kMarker, V::Unfinished, ""},
        {"device message", kMarker + "No such share\">", V::DeviceMessage, "No such share"},
        {"references kept, first real quote ends", kMarker + "a &quot;b&quot; c\" d\"",
         V::DeviceMessage, "a &quot;b&quot; c"},
        {"marker wins over title", "<TITLE>T</TITLE>" + kMarker + "m\"", V::DeviceMessage, "m"},
        {"upper-case title", "<HTML><TITLE>401 Unauthorized</TITLE>", V::Title, "401 Unauthorized"},
        {"lower-case title", "<title>401</title>", V::NoTitle, ""},
        {"empty title", "<TITLE></TITLE>", V::EmptyTitle, ""},
        {"title never closed", "<TITLE>abc", V::EmptyTitle, ""},
        {"marker after a zero byte", std::string("<b>\0", 4) + kMarker + "\"", V::NoTitle, ""},
        {"marker case differs", "<INPUT type=\"hidden\" name=\"message\" value=\"\">", V::NoTitle,
         ""},
    };
    for (const auto& c : cases) {
        const CAnswerOutcome out = InterpretAnswer(c.page);
        EXPECT_EQ(out.eVerdict, c.verdict) << c.label;
        EXPECT_EQ(out.strText, c.text) << c.label;
    }
}

// Feeds a text in reads of at most chunk bytes; fails the read numbered failAt.
CAnswerOutcome Feed(const std::string& text, std::size_t chunk, int failAt = -1) {
    std::size_t pos = 0;
    int reads = 0;
    return ReadAndInterpretAnswer([&](char* buffer, std::uint32_t size, std::uint32_t& got) {
        EXPECT_LE(size, kReadChunk);
        if (reads++ == failAt)
            return false;
        got = static_cast<std::uint32_t>(std::min<std::size_t>({size, chunk, text.size() - pos}));
        std::copy(text.begin() + pos, text.begin() + pos + got, buffer);
        pos += got;
        return true;
    });
}

TEST(Answer, ReadingLimitsAndFailures) {
    const std::string ok = kMarker + "\"";
    std::string justUnder = ok + std::string(kAnswerLimit - 1 - ok.size(), ' ');
    ASSERT_EQ(justUnder.size(), kAnswerLimit - 1);
    EXPECT_EQ(Feed(justUnder, 7000).eVerdict, EAnswerVerdict::Accepted);
    EXPECT_EQ(Feed(justUnder + " ", 20480).eVerdict, EAnswerVerdict::TooLong);
    EXPECT_EQ(Feed(justUnder + std::string(50000, ' '), 3000).eVerdict, EAnswerVerdict::TooLong);
    EXPECT_EQ(Feed("", 100).eVerdict, EAnswerVerdict::NoAnswer);
    EXPECT_EQ(Feed(ok, 100, 0).eVerdict, EAnswerVerdict::NoAnswer);
    // A read failing after some bytes (a cut or a reset) fails the answer, whatever arrived.
    EXPECT_EQ(Feed(ok + std::string(500, ' '), 10, 5).eVerdict, EAnswerVerdict::Cut);
}

TEST(Answer, FailingStatusWithoutTheDevicesWords) {
    using V = EAnswerVerdict;
    const struct {
        const char* label;
        std::string page;
        CAnswerStatus status;
        EAnswerVerdict verdict;
        std::string text;
    } cases[] = {
        {"accepting page under 500",
         kMarker + "\">",
         {500, "Internal Server Error"},
         V::Status,
         "HTTP status 500 Internal Server Error"},
        {"no body under 413",
         "",
         {413, "Payload Too Large"},
         V::Status,
         "HTTP status 413 Payload Too Large"},
        {"no title, no reason phrase", "<p>", {502, ""}, V::Status, "HTTP status 502"},
        {"unclosed empty value",
         kMarker,
         {400, "Bad Request"},
         V::Status,
         "HTTP status 400 Bad Request"},
        {"the device's message wins",
         kMarker + "No such share\"",
         {400, "Bad Request"},
         V::DeviceMessage,
         "No such share"},
        {"the title wins",
         "<TITLE>401 Unauthorized</TITLE>",
         {401, "Unauthorized"},
         V::Title,
         "401 Unauthorized"},
        {"2xx keeps the page's verdict", kMarker + "\"", {204, "No Content"}, V::Accepted, ""},
        {"status unknown", kMarker + "\"", {0, ""}, V::Accepted, ""},
    };
    for (const auto& c : cases) {
        std::size_t pos = 0;
        const CAnswerOutcome out = ReadAndInterpretAnswer(
            [&](char* buffer, std::uint32_t size, std::uint32_t& got) {
                got = static_cast<std::uint32_t>(std::min<std::size_t>(size, c.page.size() - pos));
                std::copy_n(c.page.data() + pos, got, buffer);
                pos += got;
                return true;
            },
            c.status);
        EXPECT_EQ(out.eVerdict, c.verdict) << c.label;
        EXPECT_EQ(out.strText, c.text) << c.label;
    }
}

} // namespace
