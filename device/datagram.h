// Discovery datagrams as the device reads and answers them; portable.
#pragma once

#include "device/config.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr std::uint16_t kTypeSearch = 0x0010;
constexpr std::uint16_t kTypeAccountCheck = 0x0041;
// Replies carry the request type with this bit set, so that a device never takes a reply for a
// request.
constexpr std::uint16_t kReplyBit = 0x8000;

struct CDiscoveryRequest {
    std::uint16_t nType = 0;
    std::uint16_t nSequence = 0;
    // Account check only: the addressed device and the account as far as its fields carry it.
    CMacAddress mac{};
    std::string strUser;
    std::string strPassword;
};

// A request, or nothing with the reason in strWhy when the datagram is not one we answer.
std::optional<CDiscoveryRequest> ParseDiscoveryRequest(const std::uint8_t* data, std::size_t size,
                                                       std::string& strWhy);

// One device's answer to a search; ip in network byte order.
std::vector<std::uint8_t> BuildSearchReply(const CDiscoveryRequest& request, std::uint16_t nStatus,
                                           const CMacAddress& mac, const std::string& strName,
                                           std::uint32_t ip);

// The answer to an account check. It has the layout of a search reply, so that the client finds
// the answering device's MAC where it always reads it and can tell that the tested device spoke.
std::vector<std::uint8_t> BuildAccountReply(const CDiscoveryRequest& request, std::uint16_t nStatus,
                                            const CMacAddress& mac, const std::string& strName,
                                            std::uint32_t ip);

// Whether the account check names this account: the user and password cut to the widths of the
// datagram's fields, since that is all a client can send.
bool AccountCheckMatches(const CDiscoveryRequest& request, const CDeviceAccount& account);
