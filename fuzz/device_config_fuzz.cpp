// Fuzz target: the reference device's command line and MAC address text; Linux test tool.
#include "device/config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool bOk, const char* what) {
    if (!bOk) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// Options that create or resolve folders are left out: a fuzzer must not make folders wherever
// its input names them.
bool TouchesFiles(const std::string& arg) {
    const std::string name = arg.substr(0, arg.find('='));
    return name == "--state" || name == "--share";
}

void CheckMac(const std::string& text) {
    CMacAddress mac{};
    if (!ParseMac(text, mac))
        return;
    // Accepted text is the canonical spelling up to case and the choice of separator.
    std::string canonical;
    for (char c : text)
        canonical +=
            c == '-' ? ':' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Check(FormatMac(mac) == canonical, "a MAC address reads other than it is written");
    CMacAddress again{};
    Check(ParseMac(FormatMac(mac), again) && again == mac,
          "a written MAC address reads back wrong");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One argument per line.
    std::vector<std::string> arrArgs{"marlowick-device"};
    std::string current;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            CheckMac(current);
            if (!TouchesFiles(current))
                arrArgs.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    std::vector<char*> argv;
    for (auto& arg : arrArgs)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    CDeviceConfig config;
    std::string strError;
    const EParseResult result =
        ParseDeviceCommandLine(static_cast<int>(arrArgs.size()), argv.data(), config, strError);
    // Without a state folder no command line is complete.
    Check(result != EParseResult::Ok, "a command line without --state accepted");
    Check(result != EParseResult::Error || !strError.empty(), "an error without a reason");
    Check(!config.strName.empty() && config.strName.size() <= kDeviceNameMax, "device name length");
    for (const auto& extra : config.faults.arrExtraDevices)
        Check(!extra.strName.empty() && extra.strName.size() <= kDeviceNameMax,
              "extra name length");
    Check(config.faults.nDelayMs <= 3600000, "fault delay out of range");
    return 0;
}
