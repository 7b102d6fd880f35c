// Discovery datagrams: requests encoded, replies decoded; portable.
#include "discovery/datagram.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kReplyMacOffset = 28;
constexpr std::size_t kReplyNameOffset = 34;
constexpr std::size_t kReplyIpOffset = 119;

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutHeader(std::uint8_t* p, std::uint16_t nType, std::uint16_t nSequence, std::uint16_t nLen) {
    Put16(p, nType);
    Put16(p + 2, 0);
    Put16(p + 4, nSequence);
    Put16(p + 6, nLen);
}

// Copies the bytes of data at [offset, offset + size) that arrived into out; the rest stays zero.
void CopyField(std::span<const std::uint8_t> data, std::size_t offset, void* out,
               std::size_t size) {
    std::memset(out, 0, size);
    if (offset >= data.size())
        return;
    std::memcpy(out, data.data() + offset, std::min(size, data.size() - offset));
}

} // namespace

std::array<std::uint8_t, kSearchRequestSize> EncodeSearchRequest(std::uint16_t nSequence) {
    std::array<std::uint8_t, kSearchRequestSize> arr{};
    PutHeader(arr.data(), kSearchRequestType, nSequence, 0);
    return arr;
}

CAccountCheckRequest EncodeAccountCheck(std::uint16_t nSequence, const std::uint8_t (&mac)[6],
                                        std::string_view strUser, std::string_view strPassword) {
    CAccountCheckRequest req;
    std::uint8_t* p = req.arrBytes.data();
    PutHeader(p, kAccountCheckType, nSequence,
              static_cast<std::uint16_t>(kAccountCheckSize - kDiscoveryHeaderSize));
    std::memcpy(p + 8, mac, sizeof mac);
    req.bNameCut = strUser.size() > kAccountNameField;
    req.bPasswordCut = strPassword.size() > kPasswordField;
    std::memcpy(p + 14, strUser.data(), std::min(strUser.size(), kAccountNameField));
    std::memcpy(p + 34, strPassword.data(), std::min(strPassword.size(), kPasswordField));
    return req;
}

std::optional<CDiscoveryReply> DecodeReply(std::span<const std::uint8_t> data) {
    if (data.size() < kDiscoveryHeaderSize)
        return std::nullopt;
    CDiscoveryReply reply;
    reply.nStatus = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
    reply.bCarriesMac = data.size() >= kReplyMacEnd;
    CopyField(data, kReplyMacOffset, reply.device.mac, sizeof reply.device.mac);
    CopyField(data, kReplyNameOffset, reply.device.name, sizeof reply.device.name);
    CopyField(data, kReplyIpOffset, &reply.device.ip, sizeof reply.device.ip);
    return reply;
}
