// Download jobs: storing uploaded .torrent files in shares and recording them across restarts;
// Linux platform code.
#include "device/job_store.h"

#include "device/log.h"
#include "device/torrent.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr std::size_t kMaxFileName = 200;
// A file being stored carries this prefix until its job is recorded.
constexpr char kPartPrefix[] = ".mw-part.";

// Record fields are tab-separated; these bytes are written as %XX inside a field.
std::string EscapeField(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c < 0x20 || c == 0x7f) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UnescapeField(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
                text.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    void Reset(int fd) {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = fd;
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// A client's text as far as a message needs to repeat it.
std::string Shortened(const std::string& text) {
    constexpr std::size_t kShown = 100;
    return text.size() <= kShown ? text : text.substr(0, kShown) + "...";
}

// Control characters and the characters that Windows clients cannot show in a name become '_'.
std::string CleanNameChars(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || std::strchr(":*?\"<>|", c) != nullptr) {
            out += '_';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

std::optional<std::vector<std::string>> SplitSubfolder(const std::string& strSubdir) {
    if (strSubdir.size() > kMaxSubfolderLength) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::string name;
    auto flush = [&]() -> bool {
        if (name == ".." || name.size() > kMaxFolderName) {
            return false;
        }
        if (!name.empty() && name != ".") {
            if (names.size() == kMaxSubfolderDepth) {
                return false;
            }
            names.push_back(CleanNameChars(name));
        }
        name.clear();
        return true;
    };
    for (char c : strSubdir) {
        if (c == '/' || c == '\\') {
            if (!flush()) {
                return std::nullopt;
            }
        } else if (c == '\0') {
            return std::nullopt;
        } else {
            name += c;
        }
    }
    if (!flush()) {
        return std::nullopt;
    }
    return names;
}

std::string SafeFileName(const std::string& strUploadName) {
    auto slash = strUploadName.find_last_of("/\\");
    std::string out = CleanNameChars(slash == std::string::npos ? strUploadName
                                                                : strUploadName.substr(slash + 1));
    while (!out.empty() && (out.front() == '.' || out.front() == ' ')) {
        out.erase(0, 1);
    }
    if (out.size() > kMaxFileName) {
        // Keep the ending (the extension) and cut the middle; never split a UTF-8 sequence.
        std::size_t nHead = kMaxFileName - 20;
        while (nHead > 0 && (static_cast<unsigned char>(out[nHead]) & 0xc0) == 0x80) {
            --nHead;
        }
        std::size_t nTail = out.size() - 20;
        while (nTail < out.size() && (static_cast<unsigned char>(out[nTail]) & 0xc0) == 0x80) {
            ++nTail;
        }
        out = out.substr(0, nHead) + "_" + out.substr(nTail);
    }
    if (out.empty()) {
        out = "upload.torrent";
    }
    return out;
}

bool CJobStore::Open(const std::string& strStateDir, std::string& strError) {
    m_strRecordPath = strStateDir + "/jobs.txt";
    std::ifstream in(m_strRecordPath, std::ios::binary);
    if (!in) {
        if (access(m_strRecordPath.c_str(), F_OK) == 0) {
            strError = "cannot read " + m_strRecordPath;
            return false;
        }
        return true;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    if (!text.empty() && text.back() != '\n') {
        // A line cut short when the device stopped while writing it: dropped, so that the next
        // record starts a line of its own.
        const std::size_t nKeep = text.rfind('\n') + 1; // 0 when no line is whole
        DeviceLog("state: dropping a cut last line of " + m_strRecordPath);
        if (truncate(m_strRecordPath.c_str(), static_cast<off_t>(nKeep)) != 0) {
            strError = "cannot repair " + m_strRecordPath + ": " + ErrnoText(errno);
            return false;
        }
        text.resize(nKeep);
    }
    std::istringstream lines(text);
    std::string line;
    int nLine = 0;
    while (std::getline(lines, line)) {
        ++nLine;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        auto fields = SplitTabs(line);
        CJobRecord record;
        if (fields.size() != 6 ||
            std::from_chars(fields[5].data(), fields[5].data() + fields[5].size(), record.nSize)
                    .ptr != fields[5].data() + fields[5].size()) {
            DeviceLog("state: skipping malformed line " + std::to_string(nLine) + " of " +
                      m_strRecordPath);
            continue;
        }
        record.strTime = UnescapeField(fields[0]);
        record.strInfoHash = UnescapeField(fields[1]);
        record.strShare = UnescapeField(fields[2]);
        record.strFolder = UnescapeField(fields[3]);
        record.strFile = UnescapeField(fields[4]);
        if (m_setHashes.insert(record.strInfoHash).second) {
            m_arrJobs.push_back(record);
        }
    }
    return true;
}

bool CJobStore::Append(const CJobRecord& record, off_t& nStart) {
    std::string line = EscapeField(record.strTime) + "\t" + EscapeField(record.strInfoHash) + "\t" +
                       EscapeField(record.strShare) + "\t" + EscapeField(record.strFolder) + "\t" +
                       EscapeField(record.strFile) + "\t" + std::to_string(record.nSize) + "\n";
    CFd fd(open(m_strRecordPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd.Get() < 0) {
        return false;
    }
    // Records are appended one at a time under the store's lock: the file ends where this line
    // will start.
    nStart = lseek(fd.Get(), 0, SEEK_END);
    if (nStart < 0) {
        return false;
    }
    if (!WriteAll(fd.Get(), line.data(), line.size())) {
        // A part of a line would be glued to the next record; the file goes back as it was.
        const int nError = errno;
        if (ftruncate(fd.Get(), nStart) != 0) {
            DeviceLog("state: cannot take back a cut record: " + ErrnoText(errno));
        }
        errno = nError;
        return false;
    }
    return true;
}

void CJobStore::Unappend(off_t nStart) {
    if (truncate(m_strRecordPath.c_str(), nStart) != 0) {
        DeviceLog("state: cannot take back a record: " + ErrnoText(errno));
    }
}

CJobOutcome CJobStore::Submit(const CDeviceShare& share, const std::string& strSubdir,
                              const std::string& strUploadName, std::string_view torrent,
                              CJobRecord& record) {
    std::string_view info;
    std::string strWhy;
    if (!CheckTorrent(torrent, info, strWhy)) {
        DeviceLog("job refused: not a torrent (" + strWhy + ")");
        return {EJobResult::Invalid, "The file is not a valid torrent file."};
    }
    auto names = SplitSubfolder(strSubdir);
    if (!names) {
        return {EJobResult::Invalid, "Invalid folder: " + Shortened(strSubdir)};
    }
    record = CJobRecord{};
    record.strInfoHash = InfoHashHex(info);
    record.strShare = share.strName;
    for (const auto& name : *names) {
        record.strFolder += "/" + name;
    }
    if (record.strFolder.empty()) {
        record.strFolder = "/";
    }
    record.nSize = torrent.size();

    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_setHashes.count(record.strInfoHash) != 0) {
        return {EJobResult::Duplicate, "The download job already exists."};
    }

    // Walk down from the share without following links, so no folder outside it can be reached.
    CFd dir(open(share.strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) {
        DeviceLog("job refused: cannot open share folder " + share.strDir + ": " +
                  ErrnoText(errno));
        return {EJobResult::Failed, "The share is not available."};
    }
    for (const auto& name : *names) {
        if (mkdirat(dir.Get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
            DeviceLog("job refused: cannot create folder " + name + ": " + ErrnoText(errno));
            return {EJobResult::Invalid, "Invalid folder: " + strSubdir};
        }
        int next = openat(dir.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            // A link, a file in the way, or a name the file system refuses.
            return {EJobResult::Invalid, "Invalid folder: " + strSubdir};
        }
        dir.Reset(next);
    }

    // The file is written under a temporary name and gets its own only once the job is
    // recorded: a device stopped at any point leaves no cut file that no record names, and the
    // leftovers are cleared at the next start (see ClearLeftovers).
    const std::string strName = SafeFileName(strUploadName);
    auto dot = strName.rfind('.');
    const std::string strStem =
        dot == std::string::npos || dot == 0 ? strName : strName.substr(0, dot);
    const std::string strExt = strStem.size() == strName.size() ? "" : strName.substr(dot);
    record.strFile.clear();
    for (int n = 1; n < 1000 && record.strFile.empty(); ++n) {
        const std::string strTry =
            n == 1 ? strName : strStem + " (" + std::to_string(n) + ")" + strExt;
        struct stat st {};
        if (fstatat(dir.Get(), strTry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
            record.strFile = strTry;
        }
    }
    if (record.strFile.empty()) {
        DeviceLog("job refused: no free name for " + strName);
        return {EJobResult::Failed, "The torrent file cannot be stored."};
    }
    const std::string strPart = kPartPrefix + record.strFile;
    // Jobs are taken one at a time, so a file under this name is a leftover.
    unlinkat(dir.Get(), strPart.c_str(), 0);
    CFd file(openat(dir.Get(), strPart.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    const std::size_t nFirst =
        m_eKillAt == CDeviceFaults::EKillAt::Writing ? torrent.size() / 2 : torrent.size();
    bool bWritten = file.Get() >= 0 && WriteAll(file.Get(), torrent.data(), nFirst);
    if (bWritten && nFirst < torrent.size()) {
        DeviceLog("fault: killed while writing " + strPart);
        kill(getpid(), SIGKILL);
        bWritten = WriteAll(file.Get(), torrent.data() + nFirst, torrent.size() - nFirst);
    }
    if (!bWritten) {
        DeviceLog("job refused: cannot write " + strPart + ": " + ErrnoText(errno));
        if (file.Get() >= 0) {
            unlinkat(dir.Get(), strPart.c_str(), 0);
        }
        return {EJobResult::Failed, "The torrent file cannot be stored."};
    }
    file.Reset(-1);
    record.strTime = UtcNow();
    off_t nRecordStart = 0;
    if (!Append(record, nRecordStart)) {
        DeviceLog(std::string("job refused: cannot record it: ") + ErrnoText(errno));
        unlinkat(dir.Get(), strPart.c_str(), 0);
        return {EJobResult::Failed, "The download job cannot be recorded."};
    }
    if (m_eKillAt == CDeviceFaults::EKillAt::Recorded) {
        DeviceLog("fault: killed with the job recorded and the file still " + strPart);
        kill(getpid(), SIGKILL);
    }
    if (renameat2(dir.Get(), strPart.c_str(), dir.Get(), record.strFile.c_str(),
                  RENAME_NOREPLACE) != 0) {
        DeviceLog("job refused: cannot name the file " + record.strFile + ": " + ErrnoText(errno));
        Unappend(nRecordStart);
        unlinkat(dir.Get(), strPart.c_str(), 0);
        return {EJobResult::Failed, "The torrent file cannot be stored."};
    }
    m_setHashes.insert(record.strInfoHash);
    m_arrJobs.push_back(record);
    return {EJobResult::Taken, {}};
}

void CJobStore::ClearLeftovers(const std::vector<CDeviceShare>& arrShares) {
    namespace fs = std::filesystem;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& share : arrShares) {
        std::error_code ec;
        // Links are not followed: nothing outside the share is touched.
        fs::recursive_directory_iterator it(share.strDir, fs::directory_options::none, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it.depth() >= static_cast<int>(kMaxSubfolderDepth)) {
                it.disable_recursion_pending();
            }
            const std::string strLeft = it->path().filename().string();
            if (strLeft.rfind(kPartPrefix, 0) != 0 || !it->is_regular_file(ec) ||
                it->is_symlink(ec)) {
                continue;
            }
            const std::string strFile = strLeft.substr(std::strlen(kPartPrefix));
            std::string strFolder =
                fs::relative(it->path().parent_path(), share.strDir, ec).generic_string();
            strFolder = strFolder == "." ? "/" : "/" + strFolder;
            const fs::path finalPath = it->path().parent_path() / strFile;
            const bool bRecorded =
                std::any_of(m_arrJobs.begin(), m_arrJobs.end(), [&](const CJobRecord& job) {
                    return job.strShare == share.strName && job.strFolder == strFolder &&
                           job.strFile == strFile;
                });
            std::error_code ecLeft;
            if (bRecorded && !fs::exists(fs::symlink_status(finalPath, ecLeft))) {
                // Recorded before the device stopped: the job only lacked its final name.
                fs::rename(it->path(), finalPath, ecLeft);
                DeviceLog("state: completed recorded job " + share.strName + strFolder + " " +
                          strFile);
            } else {
                fs::remove(it->path(), ecLeft);
                DeviceLog("state: removed unrecorded leftover " + share.strName + strFolder + " " +
                          strLeft);
            }
        }
    }
}

std::vector<CJobRecord> CJobStore::Jobs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrJobs;
}
