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

#include <charconv>
#include <fstream>

namespace {

constexpr std::size_t kMaxFileName = 200;

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
    std::string line;
    int nLine = 0;
    while (std::getline(in, line)) {
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

bool CJobStore::Append(const CJobRecord& record) {
    std::string line = EscapeField(record.strTime) + "\t" + EscapeField(record.strInfoHash) + "\t" +
                       EscapeField(record.strShare) + "\t" + EscapeField(record.strFolder) + "\t" +
                       EscapeField(record.strFile) + "\t" + std::to_string(record.nSize) + "\n";
    CFd fd(open(m_strRecordPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    return fd.Get() >= 0 && WriteAll(fd.Get(), line.data(), line.size());
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

    const std::string strName = SafeFileName(strUploadName);
    auto dot = strName.rfind('.');
    const std::string strStem =
        dot == std::string::npos || dot == 0 ? strName : strName.substr(0, dot);
    const std::string strExt = strStem.size() == strName.size() ? "" : strName.substr(dot);
    CFd file;
    for (int n = 1; n < 1000 && file.Get() < 0; ++n) {
        record.strFile = n == 1 ? strName : strStem + " (" + std::to_string(n) + ")" + strExt;
        file.Reset(openat(dir.Get(), record.strFile.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (file.Get() < 0 && errno != EEXIST) {
            break;
        }
    }
    if (file.Get() < 0 || !WriteAll(file.Get(), torrent.data(), torrent.size())) {
        DeviceLog("job refused: cannot write " + record.strFile + ": " + ErrnoText(errno));
        if (file.Get() >= 0) {
            unlinkat(dir.Get(), record.strFile.c_str(), 0);
        }
        return {EJobResult::Failed, "The torrent file cannot be stored."};
    }
    record.strTime = UtcNow();
    if (!Append(record)) {
        DeviceLog(std::string("job refused: cannot record it: ") + ErrnoText(errno));
        unlinkat(dir.Get(), record.strFile.c_str(), 0);
        return {EJobResult::Failed, "The download job cannot be recorded."};
    }
    m_setHashes.insert(record.strInfoHash);
    m_arrJobs.push_back(record);
    return {EJobResult::Taken, {}};
}

std::vector<CJobRecord> CJobStore::Jobs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrJobs;
}
