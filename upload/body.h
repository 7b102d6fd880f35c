// The upload's multipart/form-data body: its fixed framing around the file bytes; portable.
#pragma once

#include <array>
#include <cstdint>
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

// Writes the head and the tail around the file bytes already at body + head size, and the four
// closing zero bytes. body must hold frame.Length(fileSize) bytes.
void WriteBodyFrame(const CBodyFrame& frame, std::uint64_t fileSize, char* body);
