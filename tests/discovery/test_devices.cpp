// Devices as tests describe them, and the datagrams they answer with; test support, portable.
#include "test_devices.h"

#include "discovery/datagram.h"

#include <algorithm>
#include <cstring>

CBytes MakeSearchReply(const CTestDevice& device, std::uint16_t nStatus) {
    CBytes reply(128, 0);
    reply[2] = static_cast<std::uint8_t>(nStatus & 0xFF);
    reply[3] = static_cast<std::uint8_t>(nStatus >> 8);
    reply[6] = static_cast<std::uint8_t>(reply.size() - kDiscoveryHeaderSize);
    std::copy(device.mac.begin(), device.mac.end(), reply.begin() + 28);
    std::memcpy(reply.data() + 34, device.strName.data(),
                std::min<std::size_t>(15, device.strName.size()));
    std::memcpy(reply.data() + 119, &device.nIp, 4);
    return reply;
}

CBytes MakeStatusReply(std::uint16_t nStatus) {
    CBytes reply(kDiscoveryHeaderSize, 0);
    reply[2] = static_cast<std::uint8_t>(nStatus & 0xFF);
    reply[3] = static_cast<std::uint8_t>(nStatus >> 8);
    return reply;
}

std::vector<CBytes> AnswerRequest(const CTestDevice& device,
                                  std::span<const std::uint8_t> request) {
    if (request.size() < kDiscoveryHeaderSize)
        return {};
    const unsigned nType = request[0] | (request[1] << 8);
    if (nType == kSearchRequestType)
        return {MakeSearchReply(device)};
    if (nType != kAccountCheckType || request.size() != kAccountCheckSize)
        return {};
    if (!std::equal(device.mac.begin(), device.mac.end(), request.begin() + 8))
        return {};
    auto field = [&](std::size_t offset, std::size_t size) {
        std::string text(reinterpret_cast<const char*>(request.data() + offset), size);
        text.resize(std::min(text.find('\0'), size));
        return text;
    };
    const bool bValid = field(14, kAccountNameField) == device.strUser &&
                        field(34, kPasswordField) == device.strPassword;
    return {MakeSearchReply(device, bValid ? 0 : 1)};
}

bool SameMac(const NAS_DEVICE_INFO& info, const CTestDevice& device) {
    return std::equal(device.mac.begin(), device.mac.end(), info.mac);
}
