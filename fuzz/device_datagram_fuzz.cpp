// Fuzz target: discovery datagrams as the device reads them and answers; Linux test tool.
#include "device/datagram.h"
#include "fuzz/fuzz_check.h"
#include "discovery/datagram.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The device's replies to a request, read back by the program's decoder.
void CheckReplies(const CDiscoveryRequest& request, FuzzedDataProvider& fdp) {
    CMacAddress mac{};
    for (auto& b : mac)
        b = fdp.ConsumeIntegral<std::uint8_t>();
    const auto nStatus = fdp.ConsumeIntegral<std::uint16_t>();
    const auto nIp = fdp.ConsumeIntegral<std::uint32_t>();
    const std::string strName = fdp.ConsumeRandomLengthString(kDeviceNameMax);

    const auto search = BuildSearchReply(request, nStatus, mac, strName, nIp);
    Check(search.size() >= kDiscoveryHeaderSize && search.size() <= kMaxReplySize,
          "search reply size");
    const auto decoded = DecodeReply(search);
    Check(decoded.has_value() && decoded->nStatus == nStatus, "search reply status");
    Check(std::equal(mac.begin(), mac.end(), decoded->device.mac), "search reply mac");
    Check(decoded->device.ip == nIp, "search reply address");
    Check(DeviceNameText(decoded->device) == strName.substr(0, strName.find('\0')),
          "search reply name");

    const auto account = BuildAccountReply(request, nStatus, mac, strName, nIp);
    const auto decodedAccount = DecodeReply(account);
    Check(decodedAccount.has_value() && decodedAccount->nStatus == nStatus, "account reply status");
    Check(decodedAccount->bCarriesMac &&
              std::equal(mac.begin(), mac.end(), decodedAccount->device.mac),
          "account reply mac");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    if ((data[0] & 1) == 0) {
        // A datagram as it arrives: the rest of libFuzzer's block, which ends where it ends, so
        // that the address sanitizer reports any read past it.
        std::string strWhy;
        const auto request = ParseDiscoveryRequest(data + 1, size - 1, strWhy);
        if (!request) {
            Check(!strWhy.empty(), "a refusal without a reason");
            return 0;
        }
        Check(request->nType == kTypeSearch || request->nType == kTypeAccountCheck,
              "an unknown type accepted");
        Check(request->strUser.size() <= kAccountNameField &&
                  request->strPassword.size() <= kPasswordField,
              "account fields longer than their widths");
        Check(request->strUser.find('\0') == std::string::npos &&
                  request->strPassword.find('\0') == std::string::npos,
              "account fields hold a NUL");
        FuzzedDataProvider fdp(data + 1, size - 1);
        CheckReplies(*request, fdp);
        return 0;
    }

    // An account check as the program sends it: the device reads back what fits the fields, and
    // the account it names matches.
    FuzzedDataProvider fdp(data + 1, size - 1);
    const auto nSequence = fdp.ConsumeIntegral<std::uint16_t>();
    std::uint8_t mac[6];
    for (auto& b : mac)
        b = fdp.ConsumeIntegral<std::uint8_t>();
    const std::string strUser = fdp.ConsumeRandomLengthString(64);
    const std::string strPassword = fdp.ConsumeRandomLengthString(64);
    const auto sent = EncodeAccountCheck(nSequence, mac, strUser, strPassword);
    std::string strWhy;
    const auto request = ParseDiscoveryRequest(sent.arrBytes.data(), sent.arrBytes.size(), strWhy);
    Check(request.has_value(), "the device refuses the program's account check");
    Check(request->nType == kTypeAccountCheck && request->nSequence == nSequence,
          "account check header");
    Check(std::equal(std::begin(mac), std::end(mac), request->mac.begin()), "account check mac");
    Check(AccountCheckMatches(*request, CDeviceAccount{strUser, strPassword}),
          "the account sent does not match itself");
    Check(sent.bNameCut == (strUser.size() > kAccountNameField), "name cut flag");
    Check(sent.bPasswordCut == (strPassword.size() > kPasswordField), "password cut flag");
    CheckReplies(*request, fdp);

    const auto search = EncodeSearchRequest(nSequence);
    const auto searchRequest = ParseDiscoveryRequest(search.data(), search.size(), strWhy);
    Check(searchRequest.has_value() && searchRequest->nType == kTypeSearch &&
              searchRequest->nSequence == nSequence,
          "the device refuses the program's search");
    return 0;
}
