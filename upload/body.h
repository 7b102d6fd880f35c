// The upload's multipart/form-data body: its fixed framing around the file bytes; portable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

inline constexpr std::string_view kBoundary = "---------------------------7d576325502fe";

// The seven form texts the caller chooses, in body order.
struct CFormTexts {
    std::string_view share_list, subdir, this_file, todo, h_share_list, h_proto, h_torrent;
};

// Everything of the body but the file bytes: the head (up to and including the blank line before
// the file's content) and the tail (from the line end after it through the closing delimiter).
// Four zero bytes follow the tail; they belong to the body and are counted in its length.
struct CBodyFrame {
    std::string strHead;
    std::string strTail;
    static constexpr std::uint64_t kTrailingZeros = 4;

    // L: the full body length for a file of fileSize bytes.
    std::uint64_t Length(std::uint64_t fileSize) const {
        return strHead.size() + fileSize + strTail.size() + kTrailingZeros;
    }
};

CBodyFrame MakeBodyFrame(std::string_view fileName, const CFormTexts& texts);

// The body's bytes in order, produced on demand: the head, the file's content pulled from its
// reader, the tail and the four zero bytes. No copy of the whole body is ever made.
class CBodyStream {
public:
    // Reads the next content bytes (got 0 at the content's end); false on a read error.
    using CContentReader = std::function<bool(char* buffer, std::size_t size, std::size_t& got)>;

    CBodyStream(const CBodyFrame& frame, std::uint64_t contentSize, CContentReader content);

    // Fills up to size bytes; got is 0 only once the whole body has been produced. Content that
    // ends before its announced size is made up with zero bytes, since the length is already out.
    bool Next(char* buffer, std::size_t size, std::size_t& got);
    std::uint64_t Length() const { return m_nLength; }
    bool ContentFailed() const { return m_bContentFailed; }

private:
    const CBodyFrame& m_frame;
    std::uint64_t m_nContentSize;
    CContentReader m_content;
    std::uint64_t m_nLength;
    std::uint64_t m_nOffset = 0;
    bool m_bContentEnded = false;
    bool m_bContentFailed = false;
};
