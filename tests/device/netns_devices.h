// The reference devices that scripts/netns-devices started for a test client, as it names them in
// the environment; Linux test support.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace mwtest {

struct CNetnsDevice {
    std::string strName, strAddress, strUser, strPassword, strShareDir;
};

inline std::vector<std::string> SplitList(const char* pszText, char cSep) {
    std::vector<std::string> arr;
    std::stringstream stream(pszText ? pszText : "");
    for (std::string item; std::getline(stream, item, cSep);)
        arr.push_back(item);
    return arr;
}

// The devices in the harness's order; empty when the client runs outside the harness.
inline std::vector<CNetnsDevice> NetnsDevices() {
    const auto arrDevices = SplitList(std::getenv("MW_NETNS_DEVICES"), ',');
    const auto arrAccounts = SplitList(std::getenv("MW_NETNS_ACCOUNTS"), ',');
    const auto arrShares = SplitList(std::getenv("MW_NETNS_SHARES"), ',');
    std::vector<CNetnsDevice> out;
    for (std::size_t i = 0; i < arrDevices.size() && i < arrAccounts.size() && i < arrShares.size();
         ++i) {
        const auto nameAddr = SplitList(arrDevices[i].c_str(), '@');
        const auto account = SplitList(arrAccounts[i].c_str(), ':');
        if (nameAddr.size() == 2 && account.size() == 2)
            out.push_back({nameAddr[0], nameAddr[1], account[0], account[1], arrShares[i]});
    }
    return out;
}

} // namespace mwtest
