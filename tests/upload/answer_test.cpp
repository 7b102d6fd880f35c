// Judging the device's answer page; portable tests.
#include "upload/answer.h"

#include <gtest/gtest.h>

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
        {"marker without closing quote", "<p>" + kMarker + "abc", V::Accepted, ""},
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
    // A failure after some bytes only ends the reading.
    EXPECT_EQ(Feed(ok + std::string(500, ' '), 10, 5).eVerdict, EAnswerVerdict::Accepted);
}

} // namespace
