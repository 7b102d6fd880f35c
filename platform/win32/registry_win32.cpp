// The registry under HKEY_CURRENT_USER; Windows backend of platform/registry.h.
#include "platform/registry.h"

#include <windows.h>

#include <sddl.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

// How long a transaction waits for another one of the user's to end. A save takes milliseconds;
// past this the other process is taken for hung, and the settings for not storable now.
constexpr DWORD kLockWaitMs = 30000;

// The failures of one registry object, shared with the transactions it opened.
struct CErrorRecord {
    std::string strText;

    RegStatus Note(RegStatus rc, const std::string& strWhere) {
        if (rc == ERROR_SUCCESS)
            return rc;
        char* text = nullptr;
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                           FORMAT_MESSAGE_IGNORE_INSERTS,
                                       nullptr, static_cast<DWORD>(rc), 0,
                                       reinterpret_cast<LPSTR>(&text), 0, nullptr);
        std::string reason = n && text ? std::string(text, n) : "error " + std::to_string(rc);
        if (text)
            LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                   reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
        strText = strWhere + ": " + reason + " (" + std::to_string(rc) + ")";
        return rc;
    }
};

class CWin32Key final : public CRegistryKey {
public:
    explicit CWin32Key(HKEY hKey) : m_hKey(hKey) {}
    ~CWin32Key() override { RegCloseKey(m_hKey); }
    CWin32Key(const CWin32Key&) = delete;
    CWin32Key& operator=(const CWin32Key&) = delete;

    RegStatus QueryValue(const std::string& name, void* data, std::uint32_t& size) override {
        DWORD cb = size;
        const LONG rc =
            RegQueryValueExA(m_hKey, name.c_str(), nullptr, nullptr, static_cast<BYTE*>(data), &cb);
        if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)
            size = cb;
        return static_cast<RegStatus>(rc);
    }

    RegStatus SetStringValue(const std::string& name, const std::string& text) override {
        if (text.size() >= MAXDWORD)
            return kRegErrInvalidParam;
        return static_cast<RegStatus>(RegSetValueExA(m_hKey, name.c_str(), 0, REG_SZ,
                                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                                     static_cast<DWORD>(text.size() + 1)));
    }

private:
    HKEY m_hKey;
};

// The name of the user's settings lock: per user (their SID in the name), in the session's
// namespace, so that no other user's process can hold it.
std::string SettingsLockName() {
    std::string name = "Local\\Marlowick-Settings";
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return name;
    DWORD cb = 0;
    GetTokenInformation(hToken, TokenUser, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb);
    char* sid = nullptr;
    if (cb && GetTokenInformation(hToken, TokenUser, buffer.data(), cb, &cb) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        name += "-";
        name += sid;
        LocalFree(sid);
    }
    CloseHandle(hToken);
    return name;
}

// The named mutex held for the life of the object.
class CSettingsLock {
public:
    CSettingsLock() = default;
    ~CSettingsLock() {
        if (m_hMutex) {
            if (m_bHeld)
                ReleaseMutex(m_hMutex);
            CloseHandle(m_hMutex);
        }
    }
    CSettingsLock(const CSettingsLock&) = delete;
    CSettingsLock& operator=(const CSettingsLock&) = delete;

    RegStatus Take() {
        m_hMutex = CreateMutexA(nullptr, FALSE, SettingsLockName().c_str());
        if (!m_hMutex)
            return static_cast<RegStatus>(GetLastError());
        // Abandoned: its owner ended inside a transaction, which stored nothing or everything.
        const DWORD wait = WaitForSingleObject(m_hMutex, kLockWaitMs);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
            return wait == WAIT_TIMEOUT ? kRegErrTimeout : static_cast<RegStatus>(GetLastError());
        m_bHeld = true;
        return kRegOk;
    }

private:
    HANDLE m_hMutex = nullptr;
    bool m_bHeld = false;
};

// The registry stores value by value: Commit writes them in turn, and when one fails puts back
// what the others replaced (and removes the key when Commit created it), so that a failed
// transaction leaves the values as they were.
class CWin32Transaction final : public CRegistryTransaction {
public:
    CWin32Transaction(std::unique_ptr<CSettingsLock> pLock, std::string subKey, ERegAccess access,
                      HKEY hKey, std::shared_ptr<CErrorRecord> pErrors)
        : m_pLock(std::move(pLock)), m_strSubKey(std::move(subKey)), m_eAccess(access),
          m_hKey(hKey), m_pErrors(std::move(pErrors)) {}
    ~CWin32Transaction() override {
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    CWin32Transaction(const CWin32Transaction&) = delete;
    CWin32Transaction& operator=(const CWin32Transaction&) = delete;

    RegStatus QueryValue(const std::string& name, void* data, std::uint32_t& size) override {
        if (const CPending* pending = FindPending(name)) {
            const auto needed = static_cast<std::uint32_t>(pending->strText.size() + 1);
            if (data && size < needed) {
                size = needed;
                return kRegErrMoreData;
            }
            if (data)
                CopyMemory(data, pending->strText.c_str(), needed);
            size = needed;
            return kRegOk;
        }
        if (!m_hKey)
            return kRegErrNotFound;
        DWORD cb = size;
        const LONG rc =
            RegQueryValueExA(m_hKey, name.c_str(), nullptr, nullptr, static_cast<BYTE*>(data), &cb);
        if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)
            size = cb;
        return static_cast<RegStatus>(rc);
    }

    RegStatus SetStringValue(const std::string& name, const std::string& text) override {
        if (m_eAccess != ERegAccess::All)
            return kRegErrAccessDenied;
        if (text.size() >= MAXDWORD)
            return kRegErrInvalidParam;
        if (CPending* pending = FindPending(name))
            pending->strText = text;
        else
            m_arrPending.push_back({name, text});
        return kRegOk;
    }

    RegStatus Commit() override {
        if (m_eAccess != ERegAccess::All)
            return kRegOk;
        bool bCreated = false;
        if (!m_hKey) {
            char emptyClass[] = "";
            DWORD disposition = 0;
            const LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, m_strSubKey.c_str(), 0, emptyClass,
                                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                            &m_hKey, &disposition);
            if (rc != ERROR_SUCCESS) {
                m_hKey = nullptr;
                return Note(rc);
            }
            bCreated = disposition == REG_CREATED_NEW_KEY;
        }
        std::vector<CPrevious> arrPrevious;
        for (const CPending& pending : m_arrPending) {
            arrPrevious.push_back(Previous(pending.strName));
            const LONG rc = RegSetValueExA(m_hKey, pending.strName.c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(pending.strText.c_str()),
                                           static_cast<DWORD>(pending.strText.size() + 1));
            if (rc != ERROR_SUCCESS) {
                arrPrevious.pop_back();
                PutBack(arrPrevious, bCreated);
                return Note(rc);
            }
        }
        m_arrPending.clear();
        return kRegOk;
    }

private:
    struct CPending {
        std::string strName;
        std::string strText;
    };
    struct CPrevious {
        std::string strName;
        std::optional<std::pair<DWORD, std::vector<BYTE>>> value; // type and data; none: absent
    };

    CPending* FindPending(const std::string& name) {
        for (CPending& pending : m_arrPending) {
            if (lstrcmpiA(pending.strName.c_str(), name.c_str()) == 0)
                return &pending;
        }
        return nullptr;
    }

    CPrevious Previous(const std::string& name) const {
        CPrevious previous{name, std::nullopt};
        DWORD type = 0;
        DWORD cb = 0;
        if (RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type, nullptr, &cb) != ERROR_SUCCESS)
            return previous;
        std::vector<BYTE> data(cb);
        if (RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type, data.data(), &cb) ==
            ERROR_SUCCESS) {
            data.resize(cb);
            previous.value.emplace(type, std::move(data));
        }
        return previous;
    }

    void PutBack(const std::vector<CPrevious>& arrPrevious, bool bCreated) {
        for (auto it = arrPrevious.rbegin(); it != arrPrevious.rend(); ++it) {
            if (it->value)
                RegSetValueExA(m_hKey, it->strName.c_str(), 0, it->value->first,
                               it->value->second.data(),
                               static_cast<DWORD>(it->value->second.size()));
            else
                RegDeleteValueA(m_hKey, it->strName.c_str());
        }
        if (bCreated) {
            RegCloseKey(m_hKey);
            m_hKey = nullptr;
            RegDeleteKeyA(HKEY_CURRENT_USER, m_strSubKey.c_str());
        }
    }

    RegStatus Note(LONG rc) {
        return m_pErrors->Note(static_cast<RegStatus>(rc), "HKEY_CURRENT_USER\\" + m_strSubKey);
    }

    std::unique_ptr<CSettingsLock> m_pLock;
    std::string m_strSubKey;
    ERegAccess m_eAccess;
    HKEY m_hKey;
    std::shared_ptr<CErrorRecord> m_pErrors;
    std::vector<CPending> m_arrPending;
};

class CWin32Registry final : public CRegistry {
public:
    RegStatus OpenKey(const std::string& subKey, ERegAccess access,
                      std::unique_ptr<CRegistryKey>& key) override {
        key.reset();
        HKEY hKey = nullptr;
        const REGSAM sam = access == ERegAccess::All ? KEY_ALL_ACCESS : KEY_QUERY_VALUE;
        const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, sam, &hKey);
        if (rc == ERROR_SUCCESS)
            key = std::make_unique<CWin32Key>(hKey);
        return Note(rc, subKey);
    }

    RegStatus CreateKey(const std::string& subKey, std::unique_ptr<CRegistryKey>& key) override {
        key.reset();
        HKEY hKey = nullptr;
        char emptyClass[] = "";
        const LONG rc =
            RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, emptyClass,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
        if (rc == ERROR_SUCCESS)
            key = std::make_unique<CWin32Key>(hKey);
        return Note(rc, subKey);
    }

    RegStatus BeginTransaction(const std::string& subKey, ERegAccess access,
                               std::unique_ptr<CRegistryTransaction>& transaction) override {
        transaction.reset();
        auto pLock = std::make_unique<CSettingsLock>();
        if (const RegStatus rc = pLock->Take(); rc != kRegOk)
            return m_pErrors->Note(rc, "the settings lock");
        HKEY hKey = nullptr;
        const REGSAM sam = access == ERegAccess::All ? KEY_ALL_ACCESS : KEY_QUERY_VALUE;
        const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, sam, &hKey);
        // A writer creates a missing key when it commits.
        if (rc != ERROR_SUCCESS && !(rc == ERROR_FILE_NOT_FOUND && access == ERegAccess::All))
            return Note(rc, subKey);
        transaction = std::make_unique<CWin32Transaction>(
            std::move(pLock), subKey, access, rc == ERROR_SUCCESS ? hKey : nullptr, m_pErrors);
        return kRegOk;
    }

    std::string LastErrorText() const override { return m_pErrors->strText; }

private:
    RegStatus Note(LONG rc, const std::string& subKey) {
        // A missing key is an answer, not a failure.
        if (rc == ERROR_FILE_NOT_FOUND)
            return static_cast<RegStatus>(rc);
        return m_pErrors->Note(static_cast<RegStatus>(rc), "HKEY_CURRENT_USER\\" + subKey);
    }

    std::shared_ptr<CErrorRecord> m_pErrors = std::make_shared<CErrorRecord>();
};

} // namespace

std::unique_ptr<CRegistry> OpenUserRegistry() {
    return std::make_unique<CWin32Registry>();
}
