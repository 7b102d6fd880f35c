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

// The system's words for errno value err; strerror's buffer is shared between threads.
std::string ErrnoText(int err) {
    char buffer[256] = {};
    // The GNU form returns the text, which need not be in buffer.
    return ::strerror_r(err, buffer, sizeof buffer);
}

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
// cannot carry the lock, since every write replaces it with a new one. The lock file is never
// reached through a symbolic link: that would create or lock whatever the link names.
class CWriteLock {
public:
    explicit CWriteLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (m_fd.Get() < 0) {
            m_nError = errno;
            return;
        }
        while (::flock(m_fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_nError = errno;
                return;
            }
        }
        m_bHeld = true;
    }
    bool IsHeld() const { return m_bHeld; }
    int Error() const { return m_nError; } // errno of the failure when not held

private:
    CFd m_fd;
    bool m_bHeld = false;
    int m_nError = 0;
};

class CRegFileStore {
public:
    explicit CRegFileStore(std::string path) : m_strPath(std::move(path)) {}

    // Reads the document as it stands; a damaged file is set aside and reads as empty. A file
    // that is there but cannot be read answers its error, and doc is then empty.
    RegStatus Load(CRegFileDocument& doc, CFileSignature& sig) const {
        if (const auto rc = ReadAndParse(doc, sig); rc != kRegErrBadFile)
            return rc;
        CWriteLock lock(LockPath());
        return LoadLocked(doc, sig);
    }

    // The file's signature right now; not present when it cannot be looked at.
    CFileSignature Signature() const {
        struct stat st {};
        if (m_strPath.empty() || ::stat(m_strPath.c_str(), &st) != 0)
            return {};
        return CFileSignature::Of(st);
    }

    // Takes the lock that every writer holds, creating the file's folder when missing.
    RegStatus Lock(std::unique_ptr<CWriteLock>& lock) const {
        if (m_strPath.empty())
            return Fail(kRegErrWriteFault, "there is no home folder to keep the settings in");
        if (!MakeDirs(ParentDir(m_strPath)))
            return Fail(kRegErrWriteFault, ParentDir(m_strPath) + ": " + ErrnoText(errno));
        lock = std::make_unique<CWriteLock>(LockPath());
        if (!lock->IsHeld())
            return Fail(kRegErrWriteFault, LockPath() + ": " + ErrnoText(lock->Error()));
        return kRegOk;
    }

    // With the lock held: reads, and renames a damaged file out of the way for the user.
    RegStatus LoadLocked(CRegFileDocument& doc, CFileSignature& sig) const {
        if (const auto rc = ReadAndParse(doc, sig); rc != kRegErrBadFile)
            return rc;
        std::string aside = m_strPath + ".damaged";
        struct stat st {};
        for (int n = 1; ::lstat(aside.c_str(), &st) == 0 && n < 10000; ++n)
            aside = m_strPath + ".damaged." + std::to_string(n);
        if (::rename(m_strPath.c_str(), aside.c_str()) == 0)
            mwDebugOutput("registry file " + m_strPath + " is damaged (" + m_strDamage +
                          "); kept as " + aside);
        else
            mwDebugOutput("registry file " + m_strPath + " is damaged (" + m_strDamage +
                          ") and could not be set aside: " + ErrnoText(errno));
        doc = CRegFileDocument{};
        sig = Signature();
        return kRegOk;
    }

    // Replaces the file with the document in one atomic step; with the lock held.
    RegStatus Store(const CRegFileDocument& doc) const {
        const std::string text = WriteRegFile(doc);
        // Larger would read back as damage.
        if (text.size() > static_cast<std::size_t>(kMaxFileSize))
            return Fail(kRegErrWriteFault, m_strPath + ": the settings would be larger than " +
                                               std::to_string(kMaxFileSize) + " bytes");
        std::string name = m_strPath + ".XXXXXX";
        CFd fd(::mkostemp(name.data(), O_CLOEXEC));
        if (fd.Get() < 0)
            return Fail(kRegErrWriteFault, m_strPath + ": " + ErrnoText(errno));
        const bool written = ::fchmod(fd.Get(), 0600) == 0 && WriteAll(fd.Get(), text) &&
                             ::fsync(fd.Get()) == 0 && ::close(fd.Release()) == 0;
        if (!written || ::rename(name.c_str(), m_strPath.c_str()) != 0) {
            const int err = errno;
            ::unlink(name.c_str());
            return Fail(kRegErrWriteFault, m_strPath + ": " + ErrnoText(err));
        }
        // Make the rename itself durable.
        CFd dir(::open(ParentDir(m_strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Get() >= 0)
            ::fsync(dir.Get());
        return kRegOk;
    }

    // Read-modify-write under the lock; change answers whether it changed anything. A file
    // that cannot be read is never replaced.
    RegStatus Modify(const std::function<bool(CRegFileDocument&)>& change) const {
        std::unique_ptr<CWriteLock> lock;
        CRegFileDocument doc;
        CFileSignature sig;
        if (const auto rc = Lock(lock); rc != kRegOk)
            return rc;
        if (const auto rc = LoadLocked(doc, sig); rc != kRegOk)
            return rc;
        if (!change(doc))
            return kRegOk;
        return Store(doc);
    }

    std::string LastErrorText() const { return m_strLastError; }

private:
    // Not a status of the interface: tells the readers here that the file is damaged.
    static constexpr RegStatus kRegErrBadFile = -1;

    std::string LockPath() const { return m_strPath + ".lock"; }

    RegStatus Fail(RegStatus rc, std::string text) const {
        mwDebugOutput("registry: " + text);
        m_strLastError = std::move(text);
        return rc;
    }

    RegStatus Unreadable(int err) const {
        return Fail(err == EACCES || err == EPERM ? kRegErrAccessDenied : kRegErrIoFailed,
                    m_strPath + ": " + ErrnoText(err));
    }

    // kRegOk with the document (a missing file is an empty one), kRegErrBadFile when the file
    // is damaged (m_strDamage says how), or the error that kept it from being read.
    RegStatus ReadAndParse(CRegFileDocument& doc, CFileSignature& sig) const {
        doc = CRegFileDocument{};
        sig = CFileSignature{};
        if (m_strPath.empty())
            return kRegOk;
        // Non-blocking, so that something odd in the file's place (a FIFO) cannot hang the program.
        CFd fd(::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (fd.Get() < 0)
            return errno == ENOENT ? kRegOk : Unreadable(errno);
        if (::fstat(fd.Get(), &st) != 0)
            return Unreadable(errno);
        if (!S_ISREG(st.st_mode))
            return Fail(kRegErrIoFailed, m_strPath + ": not a regular file");
        sig = CFileSignature::Of(st);
        if (st.st_size > kMaxFileSize) {
            m_strDamage = "larger than " + std::to_string(kMaxFileSize) + " bytes";
            return kRegErrBadFile;
        }
        std::string bytes;
        std::vector<char> chunk(65536);
        while (true) {
            const auto n = ::read(fd.Get(), chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const int err = errno;
                sig = CFileSignature{};
                return Unreadable(err);
            }
            if (n == 0)
                break;
            bytes.append(chunk.data(), static_cast<std::size_t>(n));
            if (bytes.size() > static_cast<std::size_t>(kMaxFileSize)) {
                m_strDamage = "larger than " + std::to_string(kMaxFileSize) + " bytes";
                return kRegErrBadFile;
            }
        }
        if (ParseRegFile(bytes, doc, m_strDamage))
            return kRegOk;
        doc = CRegFileDocument{};
        return kRegErrBadFile;
    }

    std::string m_strPath;
    mutable std::string m_strDamage;
    mutable std::string m_strLastError;
};

// A query answered from a document by the registry's rule.
RegStatus QueryIn(CRegFileDocument& doc, const std::string& path, const std::string& name,
                  void* data, std::uint32_t& size) {
    CRegFileKey* key = doc.FindKey(path);
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

// Values are refused that would make the file too large to read back.
bool IsStorableText(const std::string& text) {
    return text.size() < static_cast<std::size_t>(kMaxFileSize) / 2;
}

class CRegFileKeyHandle final : public CRegistryKey {
public:
    CRegFileKeyHandle(std::shared_ptr<const CRegFileStore> pStore, std::string path,
                      ERegAccess access, CRegFileDocument doc, CFileSignature sig)
        : m_pStore(std::move(pStore)), m_strPath(std::move(path)), m_eAccess(access),
          m_doc(std::move(doc)), m_sig(sig) {}

    RegStatus QueryValue(const std::string& name, void* data, std::uint32_t& size) override {
        if (m_pStore->Signature() != m_sig) {
            if (const auto rc = m_pStore->Load(m_doc, m_sig); rc != kRegOk)
                return rc;
        }
        return QueryIn(m_doc, m_strPath, name, data, size);
    }

    RegStatus SetStringValue(const std::string& name, const std::string& text) override {
        if (m_eAccess != ERegAccess::All)
            return kRegErrAccessDenied;
        if (!IsStorableText(text))
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

// The document read once under the lock; Commit writes it whole in one atomic replace. A reading
// transaction needs no lock: every write replaces the whole file, so one read sees one state.
class CRegFileTransaction final : public CRegistryTransaction {
public:
    CRegFileTransaction(std::shared_ptr<const CRegFileStore> pStore, std::string path,
                        ERegAccess access, std::unique_ptr<CWriteLock> pLock, CRegFileDocument doc)
        : m_pStore(std::move(pStore)), m_strPath(std::move(path)), m_eAccess(access),
          m_pLock(std::move(pLock)), m_doc(std::move(doc)) {
        // A missing key is created by Commit.
        m_bChanged = m_eAccess == ERegAccess::All && !m_doc.HasKeyOrChild(m_strPath);
    }

    RegStatus QueryValue(const std::string& name, void* data, std::uint32_t& size) override {
        return QueryIn(m_doc, m_strPath, name, data, size);
    }

    RegStatus SetStringValue(const std::string& name, const std::string& text) override {
        if (m_eAccess != ERegAccess::All)
            return kRegErrAccessDenied;
        if (!IsStorableText(text))
            return kRegErrInvalidParam;
        CRegFileDocument::SetString(m_doc.FindOrAddKey(m_strPath), name, text);
        m_bChanged = true;
        return kRegOk;
    }

    RegStatus Commit() override {
        if (!m_bChanged)
            return kRegOk;
        m_doc.FindOrAddKey(m_strPath);
        const RegStatus rc = m_pStore->Store(m_doc);
        if (rc == kRegOk)
            m_bChanged = false;
        return rc;
    }

private:
    std::shared_ptr<const CRegFileStore> m_pStore;
    std::string m_strPath;
    ERegAccess m_eAccess;
    std::unique_ptr<CWriteLock> m_pLock;
    CRegFileDocument m_doc;
    bool m_bChanged = false;
};

class CRegFileRegistry final : public CRegistry {
public:
    explicit CRegFileRegistry(std::string path)
        : m_pStore(std::make_shared<const CRegFileStore>(std::move(path))) {}

    RegStatus OpenKey(const std::string& subKey, ERegAccess access,
                      std::unique_ptr<CRegistryKey>& key) override {
        key.reset();
        if (!IsValidSubKey(subKey))
            return kRegErrInvalidParam;
        const auto path = FullPath(subKey);
        CRegFileDocument doc;
        CFileSignature sig;
        if (const auto rc = m_pStore->Load(doc, sig); rc != kRegOk)
            return rc;
        if (!doc.HasKeyOrChild(path))
            return kRegErrNotFound;
        key = std::make_unique<CRegFileKeyHandle>(m_pStore, path, access, std::move(doc), sig);
        return kRegOk;
    }

    RegStatus CreateKey(const std::string& subKey, std::unique_ptr<CRegistryKey>& key) override {
        key.reset();
        if (!IsValidSubKey(subKey))
            return kRegErrInvalidParam;
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
        if (const auto rc2 = m_pStore->Load(doc, sig); rc2 != kRegOk)
            return rc2;
        key = std::make_unique<CRegFileKeyHandle>(m_pStore, path, ERegAccess::All, std::move(doc),
                                                  sig);
        return kRegOk;
    }

    RegStatus BeginTransaction(const std::string& subKey, ERegAccess access,
                               std::unique_ptr<CRegistryTransaction>& transaction) override {
        transaction.reset();
        if (!IsValidSubKey(subKey))
            return kRegErrInvalidParam;
        const auto path = FullPath(subKey);
        std::unique_ptr<CWriteLock> lock;
        CRegFileDocument doc;
        CFileSignature sig;
        if (access == ERegAccess::All) {
            if (const auto rc = m_pStore->Lock(lock); rc != kRegOk)
                return rc;
            if (const auto rc = m_pStore->LoadLocked(doc, sig); rc != kRegOk)
                return rc;
        } else {
            if (const auto rc = m_pStore->Load(doc, sig); rc != kRegOk)
                return rc;
            if (!doc.HasKeyOrChild(path))
                return kRegErrNotFound;
        }
        transaction = std::make_unique<CRegFileTransaction>(m_pStore, path, access, std::move(lock),
                                                            std::move(doc));
        return kRegOk;
    }

    std::string LastErrorText() const override { return m_pStore->LastErrorText(); }

private:
    // A key name is one line of the file: line breaks and NULs would damage it.
    static bool IsValidSubKey(std::string_view subKey) {
        return subKey.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
    }

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
