// Reading the device's answer page and deciding the upload's outcome; portable.
#include "upload/answer.h"

#include "platform/text.h"

#include <vector>

namespace {
constexpr std::string_view kMessageMarker = "<input type=\"hidden\" name=\"message\" value=\"";
constexpr std::string_view kTitleOpen = "<TITLE>";
constexpr std::string_view kTitleClose = "</TITLE>";
} // namespace

CAnswerOutcome InterpretAnswer(std::string_view answer) {
    const CTextOps& text = GetTextOps();
    if (const auto nul = answer.find('\0'); nul != std::string_view::npos)
        answer = answer.substr(0, nul);

    if (const auto marker = text.Find(answer, kMessageMarker); marker != std::string_view::npos) {
        const std::string_view rest = answer.substr(marker + kMessageMarker.size());
        const auto quote = text.Find(rest, "\"");
        // A value that never closes is a page cut short, never an acceptance.
        if (quote == std::string_view::npos)
            return {EAnswerVerdict::Unfinished, std::string(rest)};
        const std::string_view value = rest.substr(0, quote);
        if (value.empty())
            return {EAnswerVerdict::Accepted, {}};
        return {EAnswerVerdict::DeviceMessage, std::string(value)};
    }

    const auto open = text.Find(answer, kTitleOpen);
    if (open == std::string_view::npos)
        return {EAnswerVerdict::NoTitle, {}};
    const std::string_view rest = answer.substr(open + kTitleOpen.size());
    const auto close = text.Find(rest, kTitleClose);
    const std::string_view title =
        close == std::string_view::npos ? std::string_view{} : rest.substr(0, close);
    if (title.empty())
        return {EAnswerVerdict::EmptyTitle, {}};
    return {EAnswerVerdict::Title, std::string(title)};
}

namespace {

bool IsSuccessStatus(const CAnswerStatus& status) {
    return status.nCode == 0 || (status.nCode >= 200 && status.nCode <= 299);
}

// Whether the device put its own words into the answer.
bool HasDeviceWording(const CAnswerOutcome& outcome) {
    switch (outcome.eVerdict) {
    case EAnswerVerdict::DeviceMessage:
    case EAnswerVerdict::Title:
    case EAnswerVerdict::Unfinished:
        return !outcome.strText.empty();
    default:
        return false;
    }
}

CAnswerOutcome Read(const CAnswerReader& read) {
    std::vector<char> answer(kAnswerLimit);
    std::vector<char> chunk(kReadChunk);
    std::size_t total = 0;
    std::uint32_t got = 0;
    if (!read(chunk.data(), kReadChunk, got))
        return {EAnswerVerdict::NoAnswer, {}};
    while (got > 0) {
        std::copy(chunk.begin(), chunk.begin() + got, answer.begin() + total);
        total += got;
        if (total >= kAnswerLimit)
            break;
        // Never ask for more than the answer field still holds.
        const auto room =
            static_cast<std::uint32_t>(std::min<std::size_t>(kReadChunk, kAnswerLimit - total));
        got = 0;
        if (!read(chunk.data(), room, got))
            return {EAnswerVerdict::Cut, {}}; // cut or reset: what arrived proves nothing
    }
    if (total == 0)
        return {EAnswerVerdict::NoAnswer, {}};
    if (total >= kAnswerLimit)
        return {EAnswerVerdict::TooLong, {}};
    return InterpretAnswer(std::string_view(answer.data(), total));
}

} // namespace

CAnswerOutcome ReadAndInterpretAnswer(const CAnswerReader& read, const CAnswerStatus& status) {
    CAnswerOutcome outcome = Read(read);
    const bool bJudged =
        outcome.eVerdict != EAnswerVerdict::Cut && outcome.eVerdict != EAnswerVerdict::TooLong;
    if (bJudged && !IsSuccessStatus(status) && !HasDeviceWording(outcome)) {
        std::string text = "HTTP status " + std::to_string(status.nCode);
        // The reason phrase is the peer's text: a bounded piece of it is enough.
        if (!status.strReason.empty())
            text += " " + status.strReason.substr(0, 200);
        return {EAnswerVerdict::Status, text};
    }
    return outcome;
}
