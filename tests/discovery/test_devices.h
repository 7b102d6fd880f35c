// Devices as tests describe them, and the datagrams they answer with; test support, portable.
#pragma once

#include "discovery/device_list.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using CBytes = std::vector<std::uint8_t>;

struct CTestDevice {
    std::array<std::uint8_t, 6> mac{};
    std::string strName;
    std::uint32_t nIp = 0; // network byte order
    std::string strUser;
    std::string strPassword;
};

// A 128-byte search reply: mac at 28, name at 34, address at 119.
CBytes MakeSearchReply(const CTestDevice& device, std::uint16_t nStatus = 0);
// A header-only reply with this status.
CBytes MakeStatusReply(std::uint16_t nStatus);
// What a device answers to a request: its search reply, or for an account check that names it,
// a reply in the same layout (so carrying its MAC) with status 0 when the account is its own and
// status 1 otherwise; nothing for anything else.
std::vector<CBytes> AnswerRequest(const CTestDevice& device, std::span<const std::uint8_t> request);

bool SameMac(const NAS_DEVICE_INFO& info, const CTestDevice& device);
