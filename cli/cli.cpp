// The command line front end's commands: search, check, send, set, status; portable.
#include "cli/cli.h"

#include "app/upload_job.h"
#include "platform/page_text.h"
#include "discovery/device_list.h"
#include "platform/file.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <istream>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <thread>

namespace {

constexpr char kProgram[] = "marlowick-cli";
constexpr unsigned kStatusTimeoutMs = 15000;
constexpr unsigned kMaxTimeoutSeconds = 24 * 3600;
// The upload announces its length in 32 signed bits: a file of 2 GiB or more cannot be sent.
constexpr std::uint64_t kMaxSendBytes = (std::uint64_t{1} << 31) - 1;

const char kGeneralUsage[] =
    R"(Usage: marlowick-cli COMMAND [OPTIONS]

Hands .torrent files to the download service of a storage device on the local network, with the
settings that the Marlowick program uses.

Commands:
  search   list the storage devices that answer on the local networks
  check    check an account against a device
  send     send .torrent files to a device
  set      store the device, account and destination that send and the program use
  status   print the address of a device's status page, or the page as text

Run "marlowick-cli COMMAND --help" for the options of a command.
Passwords are read from standard input (--password-stdin) or from the stored settings, never from
the command line, and are never printed.
Exit codes: 0 success; 1 refused, not found, not sent or nothing usable stored; 2 usage error.
)";

const char kSearchUsage[] = R"(Usage: marlowick-cli search

Asks every local network for its storage devices (a broadcast, answered within 2 seconds) and
prints one line per device: name, address and hardware address, separated by tabs. Exits 0 also
when no device answers.
)";

const char kCheckUsage[] =
    R"(Usage: marlowick-cli check --device NAME-OR-ADDRESS --user USER [--password-stdin]

Searches the local networks, then asks the device with that name or address whether the account
is valid. Exits 0 when the device accepts it, 1 when it refuses it or does not answer the search.

  --device NAME-OR-ADDRESS  the device's name or dotted address, as search prints them
  --user USER               the account name
  --password-stdin          read the password from the first line of standard input
)";

const char kSendUsage[] =
    R"(Usage: marlowick-cli send [--dest SHARE[\FOLDER]] [--timeout SECONDS] FILE...
       marlowick-cli send --device ADDRESS[:PORT] --user USER [--password-stdin]
                          --dest SHARE[\FOLDER] [--timeout SECONDS] FILE...

Sends each .torrent file to the device's download service: with the stored settings (see set),
or with the device, account and destination given here. Prints one line per file with its
outcome (and the device's own message when it refused the file), then a summary. Every file is
checked before anything is sent. Exits 0 only when the device accepted every file. It never asks
for confirmation, whatever the program's confirmation switch says.

  --device ADDRESS[:PORT]  the device's address (goes together with --user and --dest)
  --user USER              the account name
  --password-stdin         read the password from the first line of standard input
  --dest SHARE[\FOLDER]    the share and the folder in it (also with the stored settings)
  --timeout SECONDS        give up on a file the device has not answered within SECONDS; the
                           files after it are not sent (default: the upload's own limits,
                           about a minute without an answer)

Example:
  printf '%s\n' "$NAS_PASSWORD" | marlowick-cli send --device 192.168.1.20 --user admin \
      --password-stdin --dest 'Public\Downloads' *.torrent
)";

const char kSetUsage[] =
    R"(Usage: marlowick-cli set --device NAME [--address ADDRESS[:PORT]] --user USER
                         [--password-stdin] --dest SHARE[\FOLDER] [--confirm on|off] [--no-check]

Checks the account against the device (a search and an account check, as the program's Set
does), then stores the device, account, password and destination as the current settings and
as the device's saved entry; the program and send without options use them.

  --device NAME             the device's name, as search prints it
  --address ADDRESS[:PORT]  the device's address (default: the address it answered the search
                            from; required with --no-check)
  --user USER               the account name
  --password-stdin          read the password from the first line of standard input
  --dest SHARE[\FOLDER]     the share and the folder in it
  --confirm on|off          whether the program asks before it sends a file (default: as stored)
  --no-check                store without the account check, for a device that does not answer
                            discovery
)";

const char kStatusUsage[] =
    R"(Usage: marlowick-cli status [--device ADDRESS[:PORT]] [--dump] [--timeout SECONDS]

Prints the address of the device's download status page: of the given device, or of the one in
the stored settings. With --dump, also fetches the page and prints it as text.

  --device ADDRESS[:PORT]  the device's address (default: the stored one)
  --dump                   print the page's text
  --timeout SECONDS        give up on the page after SECONDS (default 15)
)";

struct COptionRule {
    const char* pszName;
    bool bTakesValue;
};

struct CParsedArgs {
    std::map<std::string, std::string> mapValues;
    std::set<std::string> setFlags;
    std::vector<std::string> arrPositional;
    bool bHelp = false;

    bool Has(const std::string& name) const {
        return mapValues.count(name) != 0 || setFlags.count(name) != 0;
    }
    std::string Value(const std::string& name) const {
        auto it = mapValues.find(name);
        return it == mapValues.end() ? std::string() : it->second;
    }
};

// Reads the arguments of one command. Errors name the option, never a value: a value may be a
// password typed in the wrong place.
bool ParseArgs(const std::vector<std::string>& arrArgs, const std::vector<COptionRule>& arrRules,
               bool bPositional, CParsedArgs& parsed, std::string& strError) {
    bool bOptionsEnded = false;
    for (std::size_t i = 0; i < arrArgs.size(); ++i) {
        const std::string& arg = arrArgs[i];
        if (bOptionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!bPositional) {
                strError = "unexpected argument (number " + std::to_string(i + 1) + ")";
                return false;
            }
            parsed.arrPositional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            bOptionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.bHelp = true;
            continue;
        }
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (name.rfind("--pass", 0) == 0 && name != "--password-stdin") {
            strError = "passwords are not taken on the command line; use --password-stdin";
            return false;
        }
        const COptionRule* pRule = nullptr;
        for (const auto& rule : arrRules)
            if (name == rule.pszName)
                pRule = &rule;
        if (pRule == nullptr || name.rfind("--", 0) != 0) {
            strError = "unknown option " + name;
            return false;
        }
        if (parsed.Has(name)) {
            strError = name + " given more than once";
            return false;
        }
        if (!pRule->bTakesValue) {
            if (eq != std::string::npos) {
                strError = name + " takes no value";
                return false;
            }
            parsed.setFlags.insert(name);
            continue;
        }
        if (eq != std::string::npos) {
            parsed.mapValues[name] = arg.substr(eq + 1);
        } else if (i + 1 < arrArgs.size()) {
            parsed.mapValues[name] = arrArgs[++i];
        } else {
            strError = name + " needs a value";
            return false;
        }
    }
    return true;
}

// The run of one command: its streams, its outcome, and the messages that go with them.
class CCommand {
public:
    CCommand(CCliContext& ctx, std::string strName, const char* pszUsage)
        : m_ctx(ctx), m_strName(std::move(strName)), m_pszUsage(pszUsage) {}

    std::ostream& Out() { return *m_ctx.pOut; }

    int UsageError(const std::string& strWhy) {
        *m_ctx.pErr << kProgram << ' ' << m_strName << ": " << strWhy << "\n(see " << kProgram
                    << ' ' << m_strName << " --help)\n";
        return kCliExitUsage;
    }
    int Fail(const std::string& strWhy) {
        Error(strWhy);
        return kCliExitFailed;
    }
    void Error(const std::string& strWhy) {
        *m_ctx.pErr << kProgram << ' ' << m_strName << ": " << strWhy << "\n";
    }
    int Help() {
        Out() << m_pszUsage;
        return kCliExitOk;
    }

    // Parses; true to go on, else nExit holds the code to end with (help or a usage error).
    bool Parse(const std::vector<std::string>& arrArgs, const std::vector<COptionRule>& arrRules,
               bool bPositional, CParsedArgs& parsed, int& nExit) {
        std::string strError;
        if (!ParseArgs(arrArgs, arrRules, bPositional, parsed, strError)) {
            nExit = UsageError(strError);
            return false;
        }
        if (parsed.bHelp) {
            nExit = Help();
            return false;
        }
        return true;
    }

    // The first line of standard input, without its line end; false when there is none.
    bool ReadPassword(std::string& strPassword) {
        strPassword.clear();
        if (m_ctx.pIn == nullptr || !std::getline(*m_ctx.pIn, strPassword))
            return false;
        if (!strPassword.empty() && strPassword.back() == '\r')
            strPassword.pop_back();
        return true;
    }

    // Seconds from --timeout as milliseconds; false after a usage error.
    bool ReadTimeout(const CParsedArgs& parsed, unsigned nDefaultMs, unsigned& nMs, int& nExit) {
        nMs = nDefaultMs;
        if (!parsed.Has("--timeout"))
            return true;
        const std::string text = parsed.Value("--timeout");
        unsigned long n = 0;
        bool bOk = !text.empty() && text.size() <= 6;
        for (char c : text) {
            bOk = bOk && c >= '0' && c <= '9';
            if (bOk)
                n = n * 10 + static_cast<unsigned long>(c - '0');
        }
        if (!bOk || n == 0 || n > kMaxTimeoutSeconds) {
            nExit = UsageError("--timeout needs a number of seconds from 1 to " +
                               std::to_string(kMaxTimeoutSeconds));
            return false;
        }
        nMs = static_cast<unsigned>(n) * 1000u;
        return true;
    }

    CJobServices& Services() { return *m_ctx.pServices; }
    CCliContext& Context() { return m_ctx; }

private:
    CCliContext& m_ctx;
    std::string m_strName;
    const char* m_pszUsage;
};

// Text from the network made safe for one line of a terminal: control characters (line ends,
// tabs, escapes) become blanks, so that a device can neither break the line format nor drive
// the terminal.
std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return out;
}

std::string NameText(const NAS_DEVICE_INFO& device) {
    return Printable(DeviceNameText(device));
}

std::string MacText(const NAS_DEVICE_INFO& device) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            out += ':';
        out += kHex[device.mac[i] >> 4];
        out += kHex[device.mac[i] & 0x0F];
    }
    return out;
}

std::string DeviceText(const NAS_DEVICE_INFO& device) {
    return NameText(device) + " (" + IPv4Text(device.ip) + ")";
}

// The host part of ADDRESS[:PORT].
std::string HostOf(const std::string& strAddress) {
    return strAddress.substr(0, strAddress.find(':'));
}

// Position in list of the first device with this name (case aside) or dotted address; -1 when
// none. With strAddress given, a device of that name at that address comes first.
int FindDevice(const CDeviceList& list, const std::string& strNameOrAddress,
               const std::string& strAddress = {}) {
    const CTextOps& text = GetTextOps();
    int nFound = -1;
    for (int i = 0; i < list.GetCount(); ++i) {
        const NAS_DEVICE_INFO& device = *list.GetAt(i);
        const bool bName = text.CompareNoCase(DeviceNameText(device), strNameOrAddress) == 0;
        if (!strAddress.empty() && bName && IPv4Text(device.ip) == HostOf(strAddress))
            return i;
        if (nFound < 0 && (bName || IPv4Text(device.ip) == strNameOrAddress))
            nFound = i;
    }
    return nFound;
}

// The socket library, started once for a command's search and account check, as the program's
// main window starts it once for all of its own.
class CSocketSession {
public:
    explicit CSocketSession(CCommand& cmd) : m_cmd(cmd), m_bUp(cmd.Services().StartSockets()) {
        if (!m_bUp)
            cmd.Error("the network could not be used (the socket library did not start)");
    }
    ~CSocketSession() {
        if (m_bUp)
            m_cmd.Services().StopSockets();
    }
    CSocketSession(const CSocketSession&) = delete;
    CSocketSession& operator=(const CSocketSession&) = delete;
    bool Up() const { return m_bUp; }

    // Like the program's Refresh: what the search found is what counts, whatever it returned.
    void Search() { m_cmd.Services().Search(*m_cmd.Context().pDeviceList); }
    bool CheckAccount(int nIndex, const std::string& strUser, const std::string& strPassword) {
        return m_cmd.Services().CheckAccount(*m_cmd.Context().pDeviceList, nIndex, strUser,
                                             strPassword);
    }

private:
    CCommand& m_cmd;
    bool m_bUp;
};

int RunSearchCommand(CCliContext& ctx, const std::vector<std::string>& arrArgs) {
    CCommand cmd(ctx, "search", kSearchUsage);
    CParsedArgs parsed;
    int nExit = 0;
    if (!cmd.Parse(arrArgs, {}, false, parsed, nExit))
        return nExit;
    {
        CSocketSession sockets(cmd);
        if (!sockets.Up())
            return kCliExitFailed;
        sockets.Search();
    }
    const CDeviceList& list = *ctx.pDeviceList;
    for (int i = 0; i < list.GetCount(); ++i) {
        const NAS_DEVICE_INFO& device = *list.GetAt(i);
        cmd.Out() << NameText(device) << '\t' << IPv4Text(device.ip) << '\t' << MacText(device)
                  << '\n';
    }
    if (list.GetCount() == 0)
        cmd.Error("no device answered the search");
    return kCliExitOk;
}

int RunCheckCommand(CCliContext& ctx, const std::vector<std::string>& arrArgs) {
    CCommand cmd(ctx, "check", kCheckUsage);
    CParsedArgs parsed;
    int nExit = 0;
    if (!cmd.Parse(arrArgs, {{"--device", true}, {"--user", true}, {"--password-stdin", false}},
                   false, parsed, nExit))
        return nExit;
    if (!parsed.Has("--device") || !parsed.Has("--user"))
        return cmd.UsageError("--device and --user are required");
    const std::string strDevice = parsed.Value("--device");
    const std::string strUser = parsed.Value("--user");
    std::string strPassword;
    if (parsed.Has("--password-stdin") && !cmd.ReadPassword(strPassword))
        return cmd.UsageError("--password-stdin: standard input holds no line");
    if (strUser.empty() && strPassword.empty())
        return cmd.UsageError("the account name and the password are both empty");

    CSocketSession sockets(cmd);
    if (!sockets.Up())
        return kCliExitFailed;
    sockets.Search();
    const int nIndex = FindDevice(*ctx.pDeviceList, strDevice);
    if (nIndex < 0)
        return cmd.Fail("no device named or at " + strDevice + " answered the search");
    const NAS_DEVICE_INFO& device = *ctx.pDeviceList->GetAt(nIndex);
    if (!sockets.CheckAccount(nIndex, strUser, strPassword)) {
        cmd.Out() << "refused: " << DeviceText(device)
                  << " did not accept the account: Incorrect Username or Password\n";
        return kCliExitFailed;
    }
    cmd.Out() << "accepted: " << DeviceText(device) << " accepted the account " << strUser << "\n";
    return kCliExitOk;
}

// What became of one file.
struct CSendOutcome {
    bool bAccepted = false;
    bool bTimedOut = false;
    VARNEL_DWORD nCode = 0;
    std::string strMessage; // the device's own words, when it gave any
};

// One upload, and once more after a second when the Accept header already existed, as the
// program's single send does.
CSendOutcome SendWithRetry(CJobServices& services, const NAS_BTDOWNLOAD_PARAM& param) {
    CSendOutcome outcome;
    outcome.bAccepted =
        fnUploadWithRetry([&](std::string& message,
                              VARNEL_DWORD& code) { return services.Upload(param, message, code); },
                          [&](unsigned ms) { services.Sleep(ms); }, outcome.strMessage,
                          outcome.nCode) == 1;
    return outcome;
}

// The upload on a worker that owns its share of everything, so that the command can give up on
// it at the deadline; nTimeoutMs 0 sends on this thread with the upload's own limits.
CSendOutcome SendWithDeadline(const std::shared_ptr<CJobServices>& pServices,
                              const std::shared_ptr<const CUploadJob>& pJob, unsigned nTimeoutMs,
                              bool& bWorkLeftRunning) {
    if (nTimeoutMs == 0)
        return SendWithRetry(*pServices, *pJob->GetParam());
    struct CShared {
        std::mutex mutex;
        std::condition_variable done;
        bool bDone = false;
        CSendOutcome outcome;
    };
    auto pShared = std::make_shared<CShared>();
    std::thread worker([pServices, pJob, pShared] {
        CSendOutcome outcome = SendWithRetry(*pServices, *pJob->GetParam());
        std::lock_guard<std::mutex> lock(pShared->mutex);
        pShared->outcome = std::move(outcome);
        pShared->bDone = true;
        pShared->done.notify_all();
    });
    std::unique_lock<std::mutex> lock(pShared->mutex);
    if (pShared->done.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                               [&] { return pShared->bDone; })) {
        CSendOutcome outcome = std::move(pShared->outcome);
        lock.unlock();
        worker.join();
        return outcome;
    }
    lock.unlock();
    worker.detach();
    bWorkLeftRunning = true;
    CSendOutcome outcome;
    outcome.bTimedOut = true;
    outcome.nCode = NAS_BTDOWNLOAD_ERR_GENERAL;
    return outcome;
}

std::string OutcomeText(const CSendOutcome& outcome, unsigned nTimeoutMs) {
    if (outcome.bAccepted)
        return "accepted";
    if (outcome.bTimedOut)
        return "failed: no answer from the device within " + std::to_string(nTimeoutMs / 1000) +
               " s";
    if (!outcome.strMessage.empty())
        return "refused by the device: " + Printable(outcome.strMessage);
    switch (outcome.nCode) {
    case NAS_BTDOWNLOAD_ERR_HEADER_EXISTS:
        return "failed (result code 7000): the request's Accept header already existed, also on "
               "the retry";
    case NAS_BTDOWNLOAD_ERR_HEADER_FAILED:
        return "failed (result code 7001): the request's Accept header could not be added";
    default:
        return "failed (result code " + std::to_string(outcome.nCode) +
               "): File transfer error. The device could not be reached or gave no answer "
               "that could be read";
    }
}

// The names of what the settings lack for a send, joined for a message; empty when complete.
std::string MissingSettings(const CMarlowickSettings& s) {
    std::vector<std::string> arrMissing;
    if (s.m_strIP.empty())
        arrMissing.push_back("no device address");
    if (s.m_strUserName.empty())
        arrMissing.push_back("no account name");
    if (s.m_strRootSharelist.empty() && s.m_strSubFolder.empty())
        arrMissing.push_back("no destination");
    std::string text;
    for (std::size_t i = 0; i < arrMissing.size(); ++i)
        text += (i == 0 ? "" : i + 1 == arrMissing.size() ? " and " : ", ") + arrMissing[i];
    return text;
}

int RunSendCommand(CCliContext& ctx, const std::vector<std::string>& arrArgs) {
    CCommand cmd(ctx, "send", kSendUsage);
    CParsedArgs parsed;
    int nExit = 0;
    if (!cmd.Parse(arrArgs,
                   {{"--device", true},
                    {"--user", true},
                    {"--password-stdin", false},
                    {"--dest", true},
                    {"--timeout", true}},
                   true, parsed, nExit))
        return nExit;
    unsigned nTimeoutMs = 0;
    if (!cmd.ReadTimeout(parsed, 0, nTimeoutMs, nExit))
        return nExit;
    if (parsed.arrPositional.empty())
        return cmd.UsageError("name at least one .torrent file");
    // The stored password goes only to the stored device: naming another device means naming
    // its account too.
    const bool bCommandLine =
        parsed.Has("--device") || parsed.Has("--user") || parsed.Has("--password-stdin");
    if (bCommandLine && !(parsed.Has("--device") && parsed.Has("--user") && parsed.Has("--dest")))
        return cmd.UsageError("--device, --user and --dest go together (or leave out --device, "
                              "--user and --password-stdin to use the stored settings)");

    CMarlowickSettings settings;
    bool bStored = true;
    std::string strUnreadable; // why the stored settings cannot be read, when they cannot
    if (bCommandLine) {
        settings.m_strIP = parsed.Value("--device");
        settings.m_strUserName = parsed.Value("--user");
        if (parsed.Has("--password-stdin") && !cmd.ReadPassword(settings.m_strPassword))
            return cmd.UsageError("--password-stdin: standard input holds no line");
        settings.m_strRootSharelist = parsed.Value("--dest");
    } else {
        const CSettingsStore store(*ctx.pRegistry, ctx.strSettingsKey);
        bStored = store.LoadSettings(settings);
        if (!bStored && store.LastStatus() != kRegErrNotFound)
            strUnreadable = store.LastErrorText();
        if (parsed.Has("--dest")) {
            settings.m_strRootSharelist = parsed.Value("--dest");
            settings.m_strSubFolder.clear();
        }
    }
    const std::string strMissing = MissingSettings(settings);
    const char kStoreHint[] =
        "; store them with \"marlowick-cli set\" or give --device, --user and --dest";
    if (bCommandLine && !strMissing.empty())
        return cmd.Fail("nothing was sent: the command line has " + strMissing);
    if (!strUnreadable.empty())
        return cmd.Fail("nothing was sent: the stored settings cannot be read: " + strUnreadable);
    if (!bStored)
        return cmd.Fail(std::string("nothing was sent: no settings are stored yet") + kStoreHint);
    if (!strMissing.empty())
        return cmd.Fail("nothing was sent: the stored settings have " + strMissing + kStoreHint);

    // Every file first, so that a typing error sends nothing at all. Names are echoed with
    // their control characters blanked, as names from the network are.
    bool bFilesOk = true;
    for (const std::string& path : parsed.arrPositional) {
        auto pFile = MakeReadFile();
        std::uint64_t nLength = 0;
        std::string strWhy;
        if (!pFile->Open(path) || !pFile->Length(nLength))
            strWhy = pFile->ErrorText();
        else if (path.find_first_of("\"\r\n") != std::string::npos)
            strWhy = "its name holds a double quote or a line break, which the upload form "
                     "cannot carry";
        else if (nLength > kMaxSendBytes)
            strWhy = "the file is too large: " + std::to_string(nLength) +
                     " bytes, and the upload carries less than 2 GiB";
        if (!strWhy.empty()) {
            cmd.Error(Printable("cannot send " + path + ": " + strWhy));
            bFilesOk = false;
        }
    }
    if (!bFilesOk)
        return cmd.Fail("nothing was sent");

    ctx.pServices->SetLogLevel(2);
    std::size_t nAccepted = 0;
    const std::size_t nFiles = parsed.arrPositional.size();
    for (std::size_t i = 0; i < nFiles; ++i) {
        const std::string& path = parsed.arrPositional[i];
        const CSendOutcome outcome = SendWithDeadline(
            ctx.pServices, fnBuildUploadJob(settings, path), nTimeoutMs, ctx.bWorkLeftRunning);
        // Line by line, so that whoever reads a pipe sees each file as it is done.
        cmd.Out() << Printable(path) << ": " << OutcomeText(outcome, nTimeoutMs) << "\n"
                  << std::flush;
        if (outcome.bAccepted)
            ++nAccepted;
        if (outcome.bTimedOut) {
            // The device does not answer: the others would only wait as long again.
            for (std::size_t k = i + 1; k < nFiles; ++k)
                cmd.Out() << Printable(parsed.arrPositional[k])
                          << ": not sent (the device did not answer)\n";
            break;
        }
    }
    cmd.Out() << nAccepted << " of " << nFiles << (nFiles == 1 ? " file" : " files")
              << " accepted by " << settings.m_strIP << "\n";
    cmd.Out().flush();
    return nAccepted == nFiles ? kCliExitOk : kCliExitFailed;
}

int RunSetCommand(CCliContext& ctx, const std::vector<std::string>& arrArgs) {
    CCommand cmd(ctx, "set", kSetUsage);
    CParsedArgs parsed;
    int nExit = 0;
    if (!cmd.Parse(arrArgs,
                   {{"--device", true},
                    {"--address", true},
                    {"--user", true},
                    {"--password-stdin", false},
                    {"--dest", true},
                    {"--confirm", true},
                    {"--no-check", false}},
                   false, parsed, nExit))
        return nExit;
    if (!parsed.Has("--device") || !parsed.Has("--user") || !parsed.Has("--dest"))
        return cmd.UsageError("--device, --user and --dest are required");
    const std::string strDevice = parsed.Value("--device");
    const std::string strUser = parsed.Value("--user");
    const std::string strDest = parsed.Value("--dest");
    std::string strAddress = parsed.Value("--address");
    const bool bCheck = !parsed.Has("--no-check");
    const CTextOps& text = GetTextOps();
    if (text.Trim(strDevice).empty())
        return cmd.UsageError("--device needs the device's name");
    if (strDest.empty())
        return cmd.UsageError("the destination is empty: give --dest SHARE[\\FOLDER]");
    const std::string strConfirm = parsed.Value("--confirm");
    if (parsed.Has("--confirm") && strConfirm != "on" && strConfirm != "off")
        return cmd.UsageError("--confirm takes on or off");
    if (!bCheck && strAddress.empty())
        return cmd.UsageError("--no-check needs --address: without the search the address is "
                              "not known");
    if (parsed.Has("--address") && strAddress.empty())
        return cmd.UsageError("--address needs the device's address");
    std::string strPassword;
    if (parsed.Has("--password-stdin") && !cmd.ReadPassword(strPassword))
        return cmd.UsageError("--password-stdin: standard input holds no line");
    if (strUser.empty() && strPassword.empty())
        return cmd.UsageError("the account name and the password are both empty");

    if (bCheck) {
        CSocketSession sockets(cmd);
        if (!sockets.Up())
            return kCliExitFailed;
        sockets.Search();
        const int nIndex = FindDevice(*ctx.pDeviceList, strDevice, strAddress);
        if (nIndex < 0)
            return cmd.Fail("nothing was stored: no device named " + strDevice +
                            " answered the search (for a device that does not answer "
                            "discovery, give --address and --no-check)");
        const NAS_DEVICE_INFO& device = *ctx.pDeviceList->GetAt(nIndex);
        if (!sockets.CheckAccount(nIndex, strUser, strPassword))
            return cmd.Fail("nothing was stored: " + DeviceText(device) +
                            " did not accept the account: Incorrect Username or Password");
        if (strAddress.empty())
            strAddress = IPv4Text(device.ip);
    }

    CSettingsStore store(*ctx.pRegistry, ctx.strSettingsKey);
    CMarlowickSettings settings;
    settings.m_nSavedCount = store.LoadSavedEntries(settings);
    // The device's saved entry, found as the device list finds it, is the one to overwrite.
    settings.m_nSavedIndex = -1;
    for (std::size_t i = 0; i < settings.m_arrSavedEntries.size(); ++i) {
        if (text.CompareNoCase(settings.m_arrSavedEntries[i].m_strDevice, strDevice) == 0) {
            settings.m_nSavedIndex = static_cast<int>(i);
            break;
        }
    }
    settings.m_strTargetDevice = strDevice;
    settings.m_strIP = strAddress;
    settings.m_strUserName = strUser;
    settings.m_strPassword = strPassword;
    settings.m_strRootSharelist = strDest;
    settings.m_strSubFolder.clear();
    const bool bConfirm = parsed.Has("--confirm") ? strConfirm == "on" : store.IsConfirmDialogOn();
    settings.m_nConfirmDialog = bConfirm ? 1 : 0;
    // Stored all together or not at all; a settings file that could not be read is never
    // replaced, so the entries of other devices in it are not lost.
    if (!store.SaveSettings(settings))
        return cmd.Fail("the settings could not be stored: " + store.LastErrorText());
    cmd.Out() << "stored: device " << strDevice << " at " << strAddress << ", account " << strUser
              << ", destination " << strDest << ", confirmation " << (bConfirm ? "on" : "off")
              << (bCheck ? " (account checked)" : " (account not checked)") << "\n";
    return kCliExitOk;
}

int RunStatusCommand(CCliContext& ctx, const std::vector<std::string>& arrArgs) {
    CCommand cmd(ctx, "status", kStatusUsage);
    CParsedArgs parsed;
    int nExit = 0;
    if (!cmd.Parse(arrArgs, {{"--device", true}, {"--dump", false}, {"--timeout", true}}, false,
                   parsed, nExit))
        return nExit;
    unsigned nTimeoutMs = 0;
    if (!cmd.ReadTimeout(parsed, kStatusTimeoutMs, nTimeoutMs, nExit))
        return nExit;
    std::string strAddress = parsed.Value("--device");
    if (!parsed.Has("--device")) {
        CMarlowickSettings settings;
        const CSettingsStore store(*ctx.pRegistry, ctx.strSettingsKey);
        if (!store.LoadSettings(settings) && store.LastStatus() != kRegErrNotFound)
            return cmd.Fail("the stored settings cannot be read: " + store.LastErrorText());
        strAddress = settings.m_strIP;
    }
    if (strAddress.empty())
        return cmd.Fail("no device address: give --device ADDRESS or store one with "
                        "\"marlowick-cli set\"");
    const std::string strUrl = "http://" + strAddress + "/Down/download_ui.cgi";
    cmd.Out() << strUrl << "\n";
    if (!parsed.Has("--dump"))
        return kCliExitOk;
    cmd.Out().flush();
    std::string strBody;
    std::string strError;
    if (!ctx.pServices->FetchPage(strUrl, nTimeoutMs, strBody, strError))
        return cmd.Fail("the status page could not be read: " + strError);
    cmd.Out() << fnPageText(strBody);
    return kCliExitOk;
}

} // namespace

int fnRunCli(const std::vector<std::string>& arrArgs, CCliContext& ctx) {
    std::ostream& err = *ctx.pErr;
    if (arrArgs.empty()) {
        err << kGeneralUsage;
        return kCliExitUsage;
    }
    const std::string& strCommand = arrArgs[0];
    const std::vector<std::string> arrRest(arrArgs.begin() + 1, arrArgs.end());
    if (strCommand == "--help" || strCommand == "-h" || strCommand == "help") {
        if (strCommand == "help" && !arrRest.empty())
            return fnRunCli({arrRest[0], "--help"}, ctx);
        *ctx.pOut << kGeneralUsage;
        return kCliExitOk;
    }
    static const struct {
        const char* pszName;
        int (*pfnRun)(CCliContext&, const std::vector<std::string>&);
    } kCommands[] = {{"search", RunSearchCommand},
                     {"check", RunCheckCommand},
                     {"send", RunSendCommand},
                     {"set", RunSetCommand},
                     {"status", RunStatusCommand}};
    for (const auto& command : kCommands)
        if (strCommand == command.pszName)
            return command.pfnRun(ctx, arrRest);
    err << kProgram << ": unknown command " << (strCommand.rfind("-", 0) == 0 ? "option " : "")
        << strCommand << "\n(see " << kProgram << " --help)\n";
    return kCliExitUsage;
}
