// Reading the device's answer page and deciding the upload's outcome; portable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Answers are stored only while shorter than this; one of this size or more is refused.
inline constexpr std::size_t kAnswerLimit = 102400;
// The most one read asks for.
inline constexpr std::uint32_t kReadChunk = 20480;

enum class EAnswerVerdict {
    Accepted,      // the marker with an empty value
    NoAnswer,      // the first read failed, or no bytes at all
    TooLong,       // kAnswerLimit bytes or more
    DeviceMessage, // the marker with a value: strText
    NoTitle,       // neither marker nor upper-case title
    EmptyTitle,    // no marker, the title tags enclose nothing
    Title,         // no marker, a title: strText
    Unfinished,    // the marker's value never closes: strText, what arrived of it (may be empty)
    Cut,           // a read failed after some bytes: the answer did not arrive whole
    Status,        // an HTTP status outside 2xx and no wording of the device's: strText names it
};

struct CAnswerOutcome {
    EAnswerVerdict eVerdict = EAnswerVerdict::NoAnswer;
    std::string strText;
};

// The answer's status line; nCode 0 when the client could not tell it.
struct CAnswerStatus {
    std::uint32_t nCode = 0;
    std::string strReason;
};

// Judges an answer page by its text up to the first zero byte.
CAnswerOutcome InterpretAnswer(std::string_view answer);

// Reads an answer with read(buffer, size, got) until it ends, a read fails or kAnswerLimit bytes
// have arrived; then judges it. A status outside 2xx fails an answer that carries no wording of
// the device's (an empty or missing message, no title, no bytes) with a text naming the status.
using CAnswerReader = std::function<bool(char* buffer, std::uint32_t size, std::uint32_t& got)>;
CAnswerOutcome ReadAndInterpretAnswer(const CAnswerReader& read, const CAnswerStatus& status = {});
