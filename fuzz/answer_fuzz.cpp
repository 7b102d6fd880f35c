// Fuzz target: judging the device's answer page, read whole and in chunks; Linux test tool.
#include "upload/answer.h"
#include "fuzz/fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool Same(const CAnswerOutcome& a, const CAnswerOutcome& b) {
    return a.eVerdict == b.eVerdict && a.strText == b.strText;
}

// The text a verdict quotes comes from the page as it stands before its first zero byte.
void CheckQuote(const CAnswerOutcome& outcome, std::string_view page) {
    const bool bQuotes = outcome.eVerdict == EAnswerVerdict::DeviceMessage ||
                         outcome.eVerdict == EAnswerVerdict::Title ||
                         outcome.eVerdict == EAnswerVerdict::Unfinished;
    if (!bQuotes) {
        Check(outcome.strText.empty(), "a verdict without text carries text");
        return;
    }
    page = page.substr(0, page.find('\0'));
    // What arrived of a value that never closes may be nothing.
    Check(!outcome.strText.empty() || outcome.eVerdict == EAnswerVerdict::Unfinished,
          "a quoting verdict with empty text");
    Check(page.find(outcome.strText) != std::string_view::npos, "quoted text not in the page");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider fdp(data, size);
    const std::uint8_t nFlags = fdp.ConsumeIntegral<std::uint8_t>();
    const bool bFailFirst = (nFlags & 1) != 0; // the very first read fails
    const bool bFailLast = (nFlags & 2) != 0;  // the read after the last bytes fails
    // Repeating the page reaches the length limit with short inputs; reads of it come in chunks
    // of some size, so that one run stays quick.
    const bool bRepeat = (nFlags & 0x1C) == 0x1C;
    const std::size_t nRepeat =
        bRepeat ? fdp.ConsumeIntegralInRange<std::size_t>(1, 2 * kAnswerLimit) : 1;
    const std::uint32_t nMinChunk = bRepeat ? 256 : 1;
    std::vector<std::uint32_t> arrChunks;
    const std::size_t nChunks = fdp.ConsumeIntegralInRange<std::size_t>(0, 16);
    for (std::size_t i = 0; i < nChunks; ++i)
        arrChunks.push_back(fdp.ConsumeIntegralInRange<std::uint32_t>(nMinChunk, kReadChunk));
    const std::string page = fdp.ConsumeRemainingBytesAsString();

    CheckQuote(InterpretAnswer(page), page);

    // The same page through the reader, in chunks of the sizes above, over and over. More than
    // the limit and one read beyond it is never needed: a reader asked for that much has already
    // shown the fault.
    const std::size_t nWanted =
        page.empty() ? 0 : page.size() * std::min<std::size_t>(nRepeat, 2 * kAnswerLimit);
    std::string stream = page;
    const std::size_t nStream = std::min<std::size_t>(nWanted, kAnswerLimit + kReadChunk);
    while (stream.size() < nStream)
        stream += stream.substr(0, std::min(stream.size(), nStream - stream.size()));
    stream.resize(nStream);

    std::size_t nDelivered = 0;
    std::size_t nCall = 0;
    bool bEnded = false;
    const CAnswerOutcome read =
        ReadAndInterpretAnswer([&](char* buffer, std::uint32_t nSize, std::uint32_t& got) {
            Check(!bEnded, "read again after the answer ended or a read failed");
            Check(nSize > 0 && nSize <= kReadChunk, "read size out of range");
            const std::size_t nCallNo = nCall++;
            if (bFailFirst && nCallNo == 0) {
                bEnded = true;
                return false;
            }
            if (nDelivered == nStream) {
                bEnded = true;
                got = 0;
                return !bFailLast;
            }
            std::size_t n = std::min<std::size_t>(nSize, nStream - nDelivered);
            if (!arrChunks.empty())
                n = std::min<std::size_t>(n, arrChunks[nCallNo % arrChunks.size()]);
            std::memcpy(buffer, stream.data() + nDelivered, n);
            nDelivered += n;
            got = static_cast<std::uint32_t>(n);
            return true;
        });
    const std::string_view delivered(stream.data(), nDelivered);

    if (bFailFirst || delivered.empty()) {
        Check(read.eVerdict == EAnswerVerdict::NoAnswer, "no bytes, yet not NoAnswer");
    } else if (delivered.size() >= kAnswerLimit) {
        Check(delivered.size() == kAnswerLimit, "read beyond the answer limit");
        Check(read.eVerdict == EAnswerVerdict::TooLong, "a full-size answer not TooLong");
    } else if (bFailLast) {
        Check(read.eVerdict == EAnswerVerdict::Cut, "an answer whose last read failed not Cut");
    } else {
        Check(Same(read, InterpretAnswer(delivered)), "chunked reading judges differently");
        CheckQuote(read, delivered);
    }
    return 0;
}
