// Discovery datagrams: requests encoded, replies decoded; portable.
#pragma once

#include "discovery/device_list.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Every datagram opens with an 8-byte header of little-endian 16-bit values: type, status,
// sequence, and the count of bytes after the header.
constexpr std::size_t kDiscoveryHeaderSize = 8;
constexpr std::uint16_t kSearchRequestType = 0x0010;
constexpr std::uint16_t kAccountCheckType = 0x0041;
constexpr std::size_t kSearchRequestSize = 8;
constexpr std::size_t kAccountCheckSize = 49;
constexpr std::size_t kAccountNameField = 20;
constexpr std::size_t kPasswordField = 15;
// Replies are read into a buffer of this size; a larger one is a receive failure.
constexpr std::size_t kMaxReplySize = 1024;

std::array<std::uint8_t, kSearchRequestSize> EncodeSearchRequest(std::uint16_t nSequence);

struct CAccountCheckRequest {
    std::array<std::uint8_t, kAccountCheckSize> arrBytes{};
    bool bNameCut = false;     // the name had more bytes than its field holds
    bool bPasswordCut = false; // likewise the password
};

// The name and password go into fixed fields without terminator, zero-filled; longer ones are cut
// to the field.
CAccountCheckRequest EncodeAccountCheck(std::uint16_t nSequence, const std::uint8_t (&mac)[6],
                                        std::string_view strUser, std::string_view strPassword);

// A reply must reach this far to carry a device's MAC.
constexpr std::size_t kReplyMacEnd = 34;

struct CDiscoveryReply {
    std::uint16_t nStatus = 0;
    NAS_DEVICE_INFO device{}; // what a search reply says about its device
    bool bCarriesMac = false; // the datagram reached to the end of the MAC field
};

// Decodes what arrived; bytes beyond its end read as zero, as in a zeroed receive buffer. A
// datagram too short to carry the header is no reply at all.
std::optional<CDiscoveryReply> DecodeReply(std::span<const std::uint8_t> data);
