// Discovery datagrams as the device reads and answers them; portable.
#include "device/datagram.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kAccountCheckSize = 49;
constexpr std::size_t kUserOffset = 14;
constexpr std::size_t kUserWidth = 20;
constexpr std::size_t kPasswordOffset = 34;
constexpr std::size_t kPasswordWidth = 15;
constexpr std::size_t kReplyMacOffset = 28;
constexpr std::size_t kReplyNameOffset = 34;
constexpr std::size_t kReplyIpOffset = 119;
constexpr std::size_t kSearchReplySize = 128;

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void Put16(std::vector<std::uint8_t>& out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<std::uint8_t>(value & 0xff);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Text of a fixed field: up to the first zero byte, or the whole field.
std::string FieldText(const std::uint8_t* p, std::size_t width) {
    const auto* end = std::find(p, p + width, 0);
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
}

std::vector<std::uint8_t> Header(const CDiscoveryRequest& request, std::uint16_t nStatus,
                                 std::size_t size) {
    std::vector<std::uint8_t> out(size, 0);
    Put16(out, 0, static_cast<std::uint16_t>(request.nType | kReplyBit));
    Put16(out, 2, nStatus);
    Put16(out, 4, request.nSequence);
    Put16(out, 6, static_cast<std::uint16_t>(size - kHeaderSize));
    return out;
}

} // namespace

std::optional<CDiscoveryRequest> ParseDiscoveryRequest(const std::uint8_t* data, std::size_t size,
                                                       std::string& strWhy) {
    if (size < kHeaderSize) {
        strWhy = "shorter than a header (" + std::to_string(size) + " bytes)";
        return std::nullopt;
    }
    CDiscoveryRequest request;
    request.nType = Get16(data);
    request.nSequence = Get16(data + 4);
    const std::uint16_t nStatus = Get16(data + 2);
    const std::size_t nLength = Get16(data + 6);
    if (nStatus != 0) {
        strWhy = "request with status " + std::to_string(nStatus);
        return std::nullopt;
    }
    if (kHeaderSize + nLength > size) {
        strWhy = "length field " + std::to_string(nLength) + " exceeds the " +
                 std::to_string(size) + "-byte datagram";
        return std::nullopt;
    }
    if (request.nType == kTypeSearch) {
        return request;
    }
    if (request.nType == kTypeAccountCheck) {
        if (size < kAccountCheckSize || kHeaderSize + nLength < kAccountCheckSize) {
            strWhy = "account check of " + std::to_string(size) + " bytes";
            return std::nullopt;
        }
        std::memcpy(request.mac.data(), data + kHeaderSize, request.mac.size());
        request.strUser = FieldText(data + kUserOffset, kUserWidth);
        request.strPassword = FieldText(data + kPasswordOffset, kPasswordWidth);
        return request;
    }
    strWhy = "unknown type 0x" + [&] {
        static const char kHex[] = "0123456789abcdef";
        std::string hex;
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex += kHex[(request.nType >> shift) & 15];
        }
        return hex;
    }();
    return std::nullopt;
}

std::vector<std::uint8_t> BuildSearchReply(const CDiscoveryRequest& request, std::uint16_t nStatus,
                                           const CMacAddress& mac, const std::string& strName,
                                           std::uint32_t ip) {
    auto out = Header(request, nStatus, kSearchReplySize);
    std::memcpy(out.data() + kReplyMacOffset, mac.data(), mac.size());
    std::memcpy(out.data() + kReplyNameOffset, strName.data(),
                std::min(strName.size(), kDeviceNameMax));
    std::memcpy(out.data() + kReplyIpOffset, &ip, sizeof ip);
    return out;
}

std::vector<std::uint8_t> BuildAccountReply(const CDiscoveryRequest& request, std::uint16_t nStatus,
                                            const CMacAddress& mac, const std::string& strName,
                                            std::uint32_t ip) {
    return BuildSearchReply(request, nStatus, mac, strName, ip);
}

bool AccountCheckMatches(const CDiscoveryRequest& request, const CDeviceAccount& account) {
    auto cut = [](const std::string& text, std::size_t width) {
        return text.substr(0, std::min(width, text.find('\0')));
    };
    return request.strUser == cut(account.strUser, kUserWidth) &&
           request.strPassword == cut(account.strPassword, kPasswordWidth);
}
