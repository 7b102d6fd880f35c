// Settings of the reference device and their command line; portable.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using CMacAddress = std::array<std::uint8_t, 6>;

struct CDeviceAccount {
    std::string strUser;
    std::string strPassword;
};

struct CDeviceShare {
    std::string strName;
    std::string strDir; // absolute, resolved at start
};

// A further identity that searches are answered with.
struct CExtraDevice {
    CMacAddress mac{};
    std::string strName;
};

// Deliberate misbehaviour for tests. The answer faults change only what goes back to the client of
// the download-job form; the job itself is handled as usual.
struct CDeviceFaults {
    std::uint32_t nDelayMs = 0;
    bool bNoAnswer = false;
    bool bClose = false;
    std::optional<std::string> optTitle; // a page without the marker, with this upper-case title
    bool bNoTitle = false;              // a page without the marker and without an upper-case title
    std::optional<std::size_t> optSize; // the answer cut or padded to exactly this many bytes
    bool bGzip = false;
    bool bRefuseAccounts = false;
    // Answers no search, and accepts every account check for whatever MAC it names: another
    // host trying to pass for the devices.
    bool bImpostor = false;
    // Kills the device (SIGKILL) in the middle of taking a job: halfway through writing the
    // .torrent file, or once the job is recorded but before the file has its final name.
    enum class EKillAt { Never, Writing, Recorded } eKillAt = EKillAt::Never;
    std::uint16_t nSearchStatus = 0;
    std::vector<CExtraDevice> arrExtraDevices;
};

struct CDeviceConfig {
    std::string strName = "mw-device";
    CMacAddress mac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    std::optional<std::uint32_t> optAdvertise; // network byte order
    std::vector<CDeviceAccount> arrAccounts;
    std::vector<CDeviceShare> arrShares;
    std::string strHttpHost = "127.0.0.1";
    std::uint16_t nHttpPort = 8080;
    bool bUdp = true;
    std::string strUdpHost = "127.0.0.1";
    std::uint16_t nUdpPort = 915;
    std::string strStateDir;
    std::string strPortFile;
    CDeviceFaults faults;
};

constexpr std::size_t kDeviceNameMax = 15;

enum class EParseResult { Ok, Help, Error };

// Reads the command line into config. Error leaves the reason in strError.
EParseResult ParseDeviceCommandLine(int argc, char** argv, CDeviceConfig& config,
                                    std::string& strError);
std::string DeviceUsage();

bool ParseMac(const std::string& text, CMacAddress& mac);
std::string FormatMac(const CMacAddress& mac);
