// Command line of the reference device; Linux platform code (resolves paths and addresses).
#include "device/config.h"

#include <arpa/inet.h>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

#include <charconv>
#include <set>

namespace {

bool ParseNumber(const std::string& text, std::uint64_t nMax, std::uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value <= nMax;
}

bool ParseIpv4(const std::string& text, std::uint32_t& addr) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return false;
    }
    addr = a.s_addr;
    return true;
}

// "ADDR:PORT" with an IPv4 address; port 0 lets the system choose.
bool ParseEndpoint(const std::string& text, std::string& host, std::uint16_t& port) {
    auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::uint32_t addr = 0;
    std::uint64_t n = 0;
    if (!ParseIpv4(text.substr(0, colon), addr) || !ParseNumber(text.substr(colon + 1), 65535, n)) {
        return false;
    }
    host = text.substr(0, colon);
    port = static_cast<std::uint16_t>(n);
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirs(const std::string& path) {
    if (path.empty() || IsDirectory(path)) {
        return !path.empty();
    }
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path.substr(0, slash))) {
        return false;
    }
    return mkdir(path.c_str(), 0755) == 0 || IsDirectory(path);
}

std::string Absolute(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        return {};
    }
    return buf;
}

} // namespace

bool ParseMac(const std::string& text, CMacAddress& mac) {
    if (text.size() != 17) {
        return false;
    }
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':' && text[i * 3 - 1] != '-') {
            return false;
        }
        std::uint8_t byte = 0;
        const char* p = text.data() + i * 3;
        auto [end, ec] = std::from_chars(p, p + 2, byte, 16);
        if (ec != std::errc() || end != p + 2) {
            return false;
        }
        mac[i] = byte;
    }
    return true;
}

std::string FormatMac(const CMacAddress& mac) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0) {
            out += ':';
        }
        out += kHex[mac[i] >> 4];
        out += kHex[mac[i] & 15];
    }
    return out;
}

std::string DeviceUsage() {
    return R"(Usage: marlowick-device --state DIR --account USER:PASSWORD --share NAME=DIR [options]

A storage device on this machine: answers discovery datagrams and takes download jobs
(.torrent files) through its web form, storing them in its shares.
  POST /Down/download_job.cgi   the download-job form (HTTP Basic authentication)
  GET  /Down/download_ui.cgi    the recorded jobs (open to anyone who reaches the port)

Settings:
  --name NAME             device name, 1 to 15 bytes (default mw-device)
  --mac MAC               hardware address, six hex pairs (default 02:00:00:00:00:01)
  --advertise IPV4        address given in search replies (default: the local address the
                          request arrived on)
  --account USER:PASSWORD an account (repeatable, at least one)
  --share NAME=DIR        a share and its existing folder (repeatable, at least one)
  --http ADDR:PORT        where the web form listens (default 127.0.0.1:8080; port 0 picks one)
  --udp ADDR:PORT|off     where discovery listens (default 127.0.0.1:915; a real box passes
                          0.0.0.0:915; off disables discovery)
  --state DIR             where jobs are recorded (created when missing; required)
  --port-file FILE        write "http=ADDR:PORT" and "udp=ADDR:PORT" lines once listening
  --help                  this text

Faults, for tests (the download-job form still handles the job; only its answer changes):
  --fault-delay MS        answer after MS milliseconds
  --fault-no-answer       never answer (the connection stays open until the client leaves)
  --fault-close           close the connection without answering
  --fault-title TEXT      answer a page without the message input, titled TEXT in <TITLE>
  --fault-no-title        answer a page without the message input whose title tags are
                          lower-case
  --fault-size N          answer exactly N bytes (the page padded or cut)
  --fault-gzip            gzip-encode the answer
  --fault-refuse-accounts refuse every account check
  --fault-impostor        answer no search, and accept every account check whatever MAC it
                          names, as a third host passing for the devices would
  --fault-kill-at STEP    kill the device (SIGKILL) while it takes a job: STEP writing (halfway
                          through the .torrent file) or recorded (the job recorded, the file
                          not yet under its final name)
  --fault-search-status N answer searches with status N
  --fault-extra-device MAC=NAME
                          also answer searches, and account checks, as this device
                          (repeatable)

Once listening it prints "listening on http://ADDR:PORT/ udp ADDR:PORT" on standard output.
It logs one line per request on standard error and stops cleanly on SIGINT or SIGTERM.
Exit codes: 0 after a clean stop, 1 when it cannot listen, 2 for bad settings.
)";
}

EParseResult ParseDeviceCommandLine(int argc, char** argv, CDeviceConfig& config,
                                    std::string& strError) {
    bool bStateGiven = false;
    std::set<std::string> setShareNames;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool bHasValue = false;
        auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            bHasValue = true;
        }
        auto need = [&]() -> bool {
            if (bHasValue) {
                return true;
            }
            if (i + 1 >= argc) {
                strError = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& why) {
            strError = arg + " " + value + ": " + why;
            return EParseResult::Error;
        };
        std::uint64_t n = 0;

        if (arg == "--help" || arg == "-h") {
            return EParseResult::Help;
        } else if (arg == "--fault-no-answer" || arg == "--fault-close" ||
                   arg == "--fault-no-title" || arg == "--fault-gzip" ||
                   arg == "--fault-refuse-accounts" || arg == "--fault-impostor") {
            if (bHasValue) {
                strError = arg + " takes no value";
                return EParseResult::Error;
            }
            if (arg == "--fault-no-answer") {
                config.faults.bNoAnswer = true;
            } else if (arg == "--fault-close") {
                config.faults.bClose = true;
            } else if (arg == "--fault-no-title") {
                config.faults.bNoTitle = true;
            } else if (arg == "--fault-gzip") {
                config.faults.bGzip = true;
            } else if (arg == "--fault-impostor") {
                config.faults.bImpostor = true;
            } else {
                config.faults.bRefuseAccounts = true;
            }
            continue;
        }
        static const std::set<std::string> kValueOptions = {"--name",
                                                            "--mac",
                                                            "--advertise",
                                                            "--account",
                                                            "--share",
                                                            "--http",
                                                            "--udp",
                                                            "--state",
                                                            "--port-file",
                                                            "--fault-delay",
                                                            "--fault-title",
                                                            "--fault-size",
                                                            "--fault-search-status",
                                                            "--fault-extra-device",
                                                            "--fault-kill-at"};
        if (kValueOptions.count(arg) == 0) {
            strError = arg.rfind("--", 0) == 0 ? "unknown option " + arg + " (see --help)"
                                               : "unexpected argument " + arg;
            return EParseResult::Error;
        }
        if (!need()) {
            return EParseResult::Error;
        }
        if (arg == "--name") {
            if (value.empty() || value.size() > kDeviceNameMax) {
                return bad("the name must have 1 to 15 bytes");
            }
            config.strName = value;
        } else if (arg == "--mac") {
            if (!ParseMac(value, config.mac)) {
                return bad("not a MAC address like 02:00:00:00:00:01");
            }
        } else if (arg == "--advertise") {
            std::uint32_t addr = 0;
            if (!ParseIpv4(value, addr)) {
                return bad("not an IPv4 address");
            }
            config.optAdvertise = addr;
        } else if (arg == "--account") {
            auto colon = value.find(':');
            if (colon == std::string::npos || colon == 0) {
                return bad("expected USER:PASSWORD with a non-empty user");
            }
            config.arrAccounts.push_back({value.substr(0, colon), value.substr(colon + 1)});
        } else if (arg == "--share") {
            auto sep = value.find('=');
            if (sep == std::string::npos || sep == 0 || sep + 1 == value.size()) {
                return bad("expected NAME=DIR");
            }
            std::string name = value.substr(0, sep);
            if (name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
                return bad("a share name holds no slash and is not . or ..");
            }
            if (!setShareNames.insert(name).second) {
                return bad("the share is named twice");
            }
            std::string dir = Absolute(value.substr(sep + 1));
            if (dir.empty() || !IsDirectory(dir)) {
                return bad("the folder does not exist");
            }
            config.arrShares.push_back({name, dir});
        } else if (arg == "--http") {
            if (!ParseEndpoint(value, config.strHttpHost, config.nHttpPort)) {
                return bad("expected IPV4:PORT");
            }
        } else if (arg == "--udp") {
            if (value == "off") {
                config.bUdp = false;
            } else if (!ParseEndpoint(value, config.strUdpHost, config.nUdpPort)) {
                return bad("expected IPV4:PORT or off");
            } else {
                config.bUdp = true;
            }
        } else if (arg == "--state") {
            if (!MakeDirs(value)) {
                return bad("cannot create the folder");
            }
            config.strStateDir = Absolute(value);
            bStateGiven = true;
        } else if (arg == "--port-file") {
            config.strPortFile = value;
        } else if (arg == "--fault-delay") {
            if (!ParseNumber(value, 3600000, n)) {
                return bad("expected milliseconds (0 to 3600000)");
            }
            config.faults.nDelayMs = static_cast<std::uint32_t>(n);
        } else if (arg == "--fault-title") {
            config.faults.optTitle = value;
        } else if (arg == "--fault-size") {
            if (!ParseNumber(value, 64 * 1024 * 1024, n)) {
                return bad("expected a byte count (0 to 67108864)");
            }
            config.faults.optSize = static_cast<std::size_t>(n);
        } else if (arg == "--fault-search-status") {
            if (!ParseNumber(value, 65535, n)) {
                return bad("expected a status from 0 to 65535");
            }
            config.faults.nSearchStatus = static_cast<std::uint16_t>(n);
        } else if (arg == "--fault-kill-at") {
            if (value == "writing") {
                config.faults.eKillAt = CDeviceFaults::EKillAt::Writing;
            } else if (value == "recorded") {
                config.faults.eKillAt = CDeviceFaults::EKillAt::Recorded;
            } else {
                return bad("expected writing or recorded");
            }
        } else { // --fault-extra-device
            auto sep = value.find('=');
            CExtraDevice extra;
            if (sep == std::string::npos || !ParseMac(value.substr(0, sep), extra.mac)) {
                return bad("expected MAC=NAME");
            }
            extra.strName = value.substr(sep + 1);
            if (extra.strName.empty() || extra.strName.size() > kDeviceNameMax) {
                return bad("the name must have 1 to 15 bytes");
            }
            config.faults.arrExtraDevices.push_back(extra);
        }
    }

    if (!bStateGiven) {
        strError = "--state DIR is required";
    } else if (config.arrAccounts.empty()) {
        strError = "at least one --account USER:PASSWORD is required";
    } else if (config.arrShares.empty()) {
        strError = "at least one --share NAME=DIR is required";
    } else if (config.faults.bNoAnswer && config.faults.bClose) {
        strError = "--fault-no-answer and --fault-close exclude each other";
    } else if (config.faults.optTitle && config.faults.bNoTitle) {
        strError = "--fault-title and --fault-no-title exclude each other";
    } else {
        return EParseResult::Ok;
    }
    return EParseResult::Error;
}
