// The registry kept in one per-user .reg file; Linux backend of platform/registry.h.
#include "platform/posix/registry_regfile.h"

#include "platform/debug_output.h"
#include "platform/posix/registry_regfile_format.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <utility>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
// Far beyond anything the program writes; a larger file is taken for damage, not read into memory.
constexpr off_t kMaxFileSize = 64 * 1024 * 1024;

class CFd {
public:
    explicit CFd(int fd = -1) : m_nFd(fd) {}
    ~CFd() {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_nFd; }
    int Release() { return std::exchange(m_nFd, -1); }

private:
    int m_nFd;
};

// Tells whether the file changed since it was read: every write of ours makes a new inode, and
// an editor that writes in place changes the size or the modification time.
struct CFileSignature {
    bool bPresent = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeSec = 0;
    long mtimeNsec = 0;

    static CFileSignature Of(const struct stat& st) {
        return CFileSignature{true,       st.st_dev,         st.st_ino,
                              st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    }
    bool operator==(const CFileSignature&) const = default;
};

std::string ParentDir(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// mkdir -p with owner-only folders.
bool MakeDirs(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const auto parent = ParentDir(dir);
    if (parent != dir && !MakeDirs(parent))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Holds an exclusive lock on a companion file for the life of the object. The data file itself
// cannot carry the lock, since every write replaces it with a new one.
class CWriteLock {
public:
    explicit CWriteLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (m_fd.Get() < 0)
            return;
        while (::flock(m_fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return;
        }
        m_bHeld = true;
    }
    bool IsHeld() const { return m_bHeld; }

private:
    CFd m_fd;
    bool m_bHeld = false;
};

class CRegFileStore {
public:
    explicit CRegFileStore(std::string path) : m_strPath(std::move(path)) {}

    // Reads the document as it stands; a damaged file is set aside and reads as empty.
    void Load(CRegFileDocument& doc, CFileSignature& sig) const {
        std::string reason;
        if (ReadAndParse(doc, sig, reason))
            return;
        CWriteLock lock(m_strPath + ".lock");
        LoadLocked(doc, sig);
    }

    // The file's signature right now; not present when it cannot be looked at.
    CFileSignature Signature() const {
        struct stat st {};
        if (m_strPath.empty() || ::stat(m_strPath.c_str(), &st) != 0)
            return {};
        return CFileSignature::Of(st);
    }

    // Read-modify-write under the lock; change answers whether it changed anything.
    RegStatus Modify(const std::function<bool(CRegFileDocument&)>& change) const {
        if (m_strPath.empty() || !MakeDirs(ParentDir(m_strPath)))
            return kRegErrWriteFault;
        CWriteLock lock(m_strPath + ".lock");
        if (!lock.IsHeld())
            return kRegErrWriteFault;
        CRegFileDocument doc;
        CFileSignature sig;
        LoadLocked(doc, sig);
        if (!change(doc))
            return kRegOk;
        return WriteAtomically(WriteRegFile(doc)) ? kRegOk : kRegErrWriteFault;
    }

private:
    // False when the file is damaged (reason says how); a missing or unreadable file is empty.
    bool ReadAndParse(CRegFileDocument& doc, CFileSignature& sig, std::string& reason) const {
        doc = CRegFileDocument{};
        sig = CFileSignature{};
        if (m_strPath.empty())
            return true;
        CFd fd(::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) {
            if (errno != ENOENT)
                mwDebugOutput("registry file " + m_strPath +
                              " unreadable: " + std::strerror(errno));
            return true;
        }
        sig = CFileSignature::Of(st);
        if (st.st_size > kMaxFileSize) {
            reason = "larger than " + std::to_string(kMaxFileSize) + " bytes";
            return false;
        }
        std::string bytes;
        std::vector<char> chunk(65536);
        while (true) {
            const auto n = ::read(fd.Get(), chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                mwDebugOutput("registry file " + m_strPath +
                              " unreadable: " + std::strerror(errno));
                doc = CRegFileDocument{};
                return true;
            }
            if (n == 0)
                break;
            bytes.append(chunk.data(), static_cast<std::size_t>(n));
            if (bytes.size() > static_cast<std::size_t>(kMaxFileSize)) {
                reason = "larger than " + std::to_string(kMaxFileSize) + " bytes";
                return false;
            }
        }
        if (ParseRegFile(bytes, doc, reason))
            return true;
        doc = CRegFileDocument{};
        return false;
    }

    // With the lock held: reads, and renames a damaged file out of the way for the user.
    void LoadLocked(CRegFileDocument& doc, CFileSignature& sig) const {
        std::string reason;
        if (ReadAndParse(doc, sig, reason))
            return;
        std::string aside = m_strPath + ".damaged";
        struct stat st {};
        for (int n = 1; ::lstat(aside.c_str(), &st) == 0 && n < 10000; ++n)
            aside = m_strPath + ".damaged." + std::to_string(n);
        if (::rename(m_strPath.c_str(), aside.c_str()) == 0)
            mwDebugOutput("registry file " + m_strPath + " is damaged (" + reason + "); kept as " +
                          aside);
        else
            mwDebugOutput("registry file " + m_strPath + " is damaged (" + reason +
                          ") and could not be set aside: " + std::strerror(errno));
        doc = CRegFileDocument{};
        sig = Signature();
    }

    bool WriteAtomically(const std::string& text) const {
        std::string name = m_strPath + ".XXXXXX";
        CFd fd(::mkostemp(name.data(), O_CLOEXEC));
        if (fd.Get() < 0)
            return false;
        const bool written = ::fchmod(fd.Get(), 0600) == 0 && WriteAll(fd.Get(), text) &&
                             ::fsync(fd.Get()) == 0 && ::close(fd.Release()) == 0;
        if (!written || ::rename(name.c_str(), m_strPath.c_str()) != 0) {
            ::unlink(name.c_str());
            return false;
        }
        // Make the rename itself durable.
        CFd dir(::open(ParentDir(m_strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Get() >= 0)
            ::fsync(dir.Get());
        return true;
    }

    std::string m_strPath;
};

class CRegFileKeyHandle final : public CRegistryKey {
public:
    CRegFileKeyHandle(std::shared_ptr<const CRegFileStore> pStore, std::string path,
                      ERegAccess access, CRegFileDocument doc, CFileSignature sig)
        : m_pStore(std::move(pStore)), m_strPath(std::move(path)), m_eAccess(access),
          m_doc(std::move(doc)), m_sig(sig) {}

    RegStatus QueryValue(const std::string& name, void* data, std::uint32_t& size) override {
        if (m_pStore->Signature() != m_sig)
            m_pStore->Load(m_doc, m_sig);
        CRegFileKey* key = m_doc.FindKey(m_strPath);
        const CRegFileValue* value = key ? CRegFileDocument::FindValue(*key, name) : nullptr;
        if (!value)
            return kRegErrNotFound;
        const auto needed = static_cast<std::uint32_t>(value->data.size());
        if (!data) {
            size = needed;
            return kRegOk;
        }
        if (size < needed) {
            size = needed;
            return kRegErrMoreData;
        }
        std::memcpy(data, value->data.data(), needed);
        size = needed;
        return kRegOk;
    }

    RegStatus SetStringValue(const std::string& name, const std::string& text) override {
        if (m_eAccess != ERegAccess::All)
            return kRegErrAccessDenied;
        if (text.size() >= static_cast<std::size_t>(kMaxFileSize) / 2)
            return kRegErrInvalidParam;
        return m_pStore->Modify([&](CRegFileDocument& doc) {
            CRegFileDocument::SetString(doc.FindOrAddKey(m_strPath), name, text);
            return true;
        });
    }

private:
    std::shared_ptr<const CRegFileStore> m_pStore;
    std::string m_strPath;
    ERegAccess m_eAccess;
    CRegFileDocument m_doc;
    CFileSignature m_sig;
};

class CRegFileRegistry final : public CRegistry {
public:
    explicit CRegFileRegistry(std::string path)
        : m_pStore(std::make_shared<const CRegFileStore>(std::move(path))) {}

    RegStatus OpenKey(const std::string& subKey, ERegAccess access,
                      std::unique_ptr<CRegistryKey>& key) override {
        key.reset();
        const auto path = FullPath(subKey);
        CRegFileDocument doc;
        CFileSignature sig;
        m_pStore->Load(doc, sig);
        if (!doc.HasKeyOrChild(path))
            return kRegErrNotFound;
        key = std::make_unique<CRegFileKeyHandle>(m_pStore, path, access, std::move(doc), sig);
        return kRegOk;
    }

    RegStatus CreateKey(const std::string& subKey, std::unique_ptr<CRegistryKey>& key) override {
        key.reset();
        const auto path = FullPath(subKey);
        const RegStatus rc = m_pStore->Modify([&](CRegFileDocument& doc) {
            if (doc.HasKeyOrChild(path))
                return false;
            doc.FindOrAddKey(path);
            return true;
        });
        if (rc != kRegOk)
            return rc;
        CRegFileDocument doc;
        CFileSignature sig;
        m_pStore->Load(doc, sig);
        key = std::make_unique<CRegFileKeyHandle>(m_pStore, path, ERegAccess::All, std::move(doc),
                                                  sig);
        return kRegOk;
    }

private:
    static std::string FullPath(std::string_view subKey) {
        while (subKey.ends_with('\\'))
            subKey.remove_suffix(1);
        std::string path(kRoot);
        if (!subKey.empty()) {
            path += '\\';
            path += subKey;
        }
        return path;
    }

    std::shared_ptr<const CRegFileStore> m_pStore;
};

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

} // namespace

std::string GetRegFilePath() {
    std::string base;
    // Relative values are invalid by the base directory rules and are ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config;
    } else {
        const auto home = HomeDir();
        if (home.empty())
            return {};
        base = home + "/.config";
    }
    return base + "/marlowick/settings.reg";
}

std::unique_ptr<CRegistry> OpenRegFileRegistry(const std::string& path) {
    return std::make_unique<CRegFileRegistry>(path);
}

std::unique_ptr<CRegistry> OpenUserRegistry() {
    return OpenRegFileRegistry(GetRegFilePath());
}
