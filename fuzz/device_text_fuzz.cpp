// Fuzz target: the device's command line, upload folder and file names; Linux test tool.
#include "device/config.h"
#include "fuzz/fuzz_check.h"
#include "device/job_store.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What a file system takes as one name, in bytes.
constexpr std::size_t kNameMax = 255;

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
    // Accepted text is the written form up to case and the choice of separator.
    std::string canonical;
    for (char c : text)
        canonical +=
            c == '-' ? ':' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Check(FormatMac(mac) == canonical, "a MAC address reads other than it is written");
    CMacAddress again{};
    Check(ParseMac(FormatMac(mac), again) && again == mac,
          "a written MAC address reads back wrong");
}

// One argument per line.
void CheckCommandLine(std::string_view text) {
    std::vector<std::string> arrArgs{"marlowick-device"};
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string arg(text.substr(start, end - start));
        CheckMac(arg);
        if (!TouchesFiles(arg))
            arrArgs.push_back(arg);
        start = end + 1;
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
              "extra device name length");
    Check(config.faults.nDelayMs <= 3600000, "fault delay out of range");
}

// The folder an upload asks for may name nothing outside its share, and stays within its bounds.
void CheckSubfolder(const std::string& text) {
    const auto names = SplitSubfolder(text);
    bool bUp = false;
    bool bLongName = false;
    std::size_t nLevels = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string name = text.substr(start, end - start);
        bUp = bUp || name == "..";
        bLongName = bLongName || name.size() > kMaxFolderName;
        nLevels += name.empty() || name == "." ? 0 : 1;
        start = end + 1;
    }
    const bool bNul = text.find('\0') != std::string::npos;
    const bool bTooBig =
        text.size() > kMaxSubfolderLength || bLongName || nLevels > kMaxSubfolderDepth;
    Check(names.has_value() == !(bUp || bNul || bTooBig), "a folder refused or taken wrongly");
    if (!names)
        return;
    for (const auto& name : *names) {
        Check(!name.empty() && name != "." && name != "..", "an empty, . or .. folder name");
        for (unsigned char c : name) {
            Check(c >= 0x20 && c != 0x7f && std::strchr("/\\:*?\"<>|", c) == nullptr,
                  "a folder name with a control, separator or reserved character");
        }
    }
}

bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += n;
    }
    return true;
}

// The name an upload brings becomes a file that can be made, inside its folder, not hidden.
void CheckFileName(const std::string& text) {
    const std::string name = SafeFileName(text);
    Check(!name.empty() && name.size() <= kNameMax, "file name length");
    Check(name.front() != '.' && name.front() != ' ', "a hidden file name");
    for (unsigned char c : name) {
        Check(c >= 0x20 && c != 0x7f && std::strchr("/\\:*?\"<>|", c) == nullptr,
              "a file name with a control, separator or reserved character");
    }
    if (IsUtf8(text))
        Check(IsUtf8(name), "a file name of UTF-8 text cut inside a character");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        CheckCommandLine(text);
        break;
    case 1:
        CheckSubfolder(text);
        break;
    default:
        CheckFileName(text);
        break;
    }
    return 0;
}
