// Fuzz target: decoding discovery replies as they arrive from the network; Linux test tool.
#include "discovery/datagram.h"
#include "fuzz/fuzz_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The bytes of a field as the datagram carries them: what arrived, zeros beyond.
bool FieldIs(const std::uint8_t* data, std::size_t size, std::size_t offset, const void* field,
             std::size_t width) {
    std::vector<std::uint8_t> expected(width, 0);
    if (offset < size)
        std::memcpy(expected.data(), data + offset, std::min(width, size - offset));
    return std::memcmp(expected.data(), field, width) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // libFuzzer hands the input in a heap block of exactly this size, so the address sanitizer
    // reports any read past what arrived.
    const auto reply = DecodeReply(std::span<const std::uint8_t>(data, size));
    if (size < kDiscoveryHeaderSize) {
        Check(!reply.has_value(), "a datagram shorter than the header decoded");
        return 0;
    }
    Check(reply.has_value(), "a datagram with a header not decoded");
    Check(reply->nStatus == static_cast<std::uint16_t>(data[2] | (data[3] << 8)), "status");
    Check(reply->bCarriesMac == (size >= kReplyMacEnd), "whether the MAC arrived");
    Check(FieldIs(data, size, 28, reply->device.mac, sizeof reply->device.mac), "mac");
    Check(FieldIs(data, size, 34, reply->device.name, sizeof reply->device.name), "name");
    Check(FieldIs(data, size, 119, &reply->device.ip, sizeof reply->device.ip), "ip");
    Check(DeviceNameText(reply->device).size() <= sizeof reply->device.name, "name text length");

    // A short datagram reads as if padded with zeros to the size of the receive buffer.
    if (size <= kMaxReplySize) {
        std::vector<std::uint8_t> padded(data, data + size);
        padded.resize(kMaxReplySize, 0);
        const auto full = DecodeReply(padded);
        Check(full.has_value() && full->nStatus == reply->nStatus &&
                  std::memcmp(full->device.mac, reply->device.mac, sizeof full->device.mac) == 0 &&
                  std::memcmp(full->device.name, reply->device.name, sizeof full->device.name) ==
                      0 &&
                  full->device.ip == reply->device.ip,
              "a short datagram decodes unlike its zero-padded self");
    }
    return 0;
}
