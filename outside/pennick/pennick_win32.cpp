// Pennick's store on Windows: our ProgID under HKCU\Software\Classes, the user's .torrent class
// pointed at it; the replaced class is kept in our ProgID; Windows backend.
#include "outside/pennick/pennick.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

namespace {

constexpr const char* kOurProgId = "Marlowick.Torrent";
constexpr const char* kClasses = "Software\\Classes\\";
constexpr const char* kExtensionKey = "Software\\Classes\\.torrent";
constexpr const char* kUserChoiceKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.torrent\\UserChoice";
// In our ProgID: the class that .torrent named before us (absent: none), and whether the
// .torrent key itself was ours to create.
constexpr const char* kPreviousValue = "PreviousProgId";
constexpr const char* kCreatedValue = "CreatedExtensionKey";

std::string OurKey() {
    return std::string(kClasses) + kOurProgId;
}

class CKey {
public:
    CKey() = default;
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    ~CKey() {
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    HKEY* Out() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

class CRegistryStore final : public CAssociationStore {
public:
    CRegistryStore() = default;
    CRegistryStore(const CRegistryStore&) = delete;
    CRegistryStore& operator=(const CRegistryStore&) = delete;
    ~CRegistryStore() override {
        if (m_hLock) {
            if (m_bLocked)
                ReleaseMutex(m_hLock);
            CloseHandle(m_hLock);
        }
    }

    bool Lock() override {
        m_hLock = CreateMutexA(nullptr, FALSE, "Local\\MarlowickPennick");
        if (!m_hLock)
            return Fail("create the lock", static_cast<LONG>(GetLastError()));
        // Bounded: a run takes well under a second. An abandoned lock is ours all the same.
        const DWORD dwWait = WaitForSingleObject(m_hLock, 10000);
        m_bLocked = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
        return m_bLocked || Fail("the lock stayed taken for 10 s", static_cast<LONG>(dwWait));
    }

    std::string OurId() const override { return kOurProgId; }

    std::string ArboletPath() const override {
        std::vector<char> buffer(MAX_PATH);
        for (;;) {
            const DWORD n =
                GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0)
                return "Arbolet.exe";
            if (n < buffer.size()) {
                std::string strPath(buffer.data(), n);
                const auto pos = strPath.find_last_of("\\/");
                return (pos == std::string::npos ? std::string() : strPath.substr(0, pos + 1)) +
                       "Arbolet.exe";
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    bool IsRunnable(const std::string& strProgram) const override {
        const DWORD attributes = GetFileAttributesA(strProgram.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool IsInstalled() override {
        CKey key;
        return RegOpenKeyExA(HKEY_CURRENT_USER, OurKey().c_str(), 0, KEY_READ, key.Out()) ==
               ERROR_SUCCESS;
    }

    std::optional<std::string> Remembered() override {
        if (!IsInstalled())
            return std::nullopt;
        std::string strPrevious;
        if (!ReadText(OurKey(), kPreviousValue, strPrevious))
            return std::nullopt;
        return strPrevious;
    }

    bool InstallOurs(const std::string& strArbolet) override {
        const std::string strCommand = "\"" + strArbolet + "\" \"%1\"";
        return WriteText(OurKey(), nullptr, "Torrent file for the storage device") &&
               WriteText(OurKey() + "\\DefaultIcon", nullptr, "\"" + strArbolet + "\",0") &&
               WriteText(OurKey() + "\\shell\\open\\command", nullptr, strCommand);
    }

    bool ReadCurrent(std::string& strId) override {
        return ReadText(kExtensionKey, nullptr, strId);
    }

    bool Remember(const std::string& strPrevious) override {
        CKey extension;
        const bool bExisted = RegOpenKeyExA(HKEY_CURRENT_USER, kExtensionKey, 0, KEY_READ,
                                            extension.Out()) == ERROR_SUCCESS;
        CKey ours;
        LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, OurKey().c_str(), 0, KEY_SET_VALUE, ours.Out());
        if (rc != ERROR_SUCCESS)
            return Fail("open " + OurKey(), rc);
        if (strPrevious.empty()) {
            rc = RegDeleteValueA(ours.Get(), kPreviousValue);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return Fail("delete " + std::string(kPreviousValue), rc);
        } else {
            rc = RegSetValueExA(ours.Get(), kPreviousValue, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(strPrevious.c_str()),
                                static_cast<DWORD>(strPrevious.size() + 1));
            if (rc != ERROR_SUCCESS)
                return Fail("write " + std::string(kPreviousValue), rc);
        }
        const DWORD dwCreated = bExisted ? 0 : 1;
        rc = RegSetValueExA(ours.Get(), kCreatedValue, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&dwCreated), sizeof dwCreated);
        return rc == ERROR_SUCCESS || Fail("write " + std::string(kCreatedValue), rc);
    }

    bool MakeOursCurrent() override { return WriteText(kExtensionKey, nullptr, kOurProgId); }

    bool Restore(const std::string& strPrevious) override {
        if (!strPrevious.empty())
            return WriteText(kExtensionKey, nullptr, strPrevious);
        bool bCreated = false;
        {
            DWORD dwCreated = 0;
            DWORD cb = sizeof dwCreated;
            bCreated = RegGetValueA(HKEY_CURRENT_USER, OurKey().c_str(), kCreatedValue,
                                    RRF_RT_REG_DWORD, nullptr, &dwCreated, &cb) == ERROR_SUCCESS &&
                       dwCreated != 0;
        }
        CKey extension;
        LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, kExtensionKey, 0, KEY_READ | KEY_SET_VALUE,
                                extension.Out());
        if (rc == ERROR_FILE_NOT_FOUND)
            return true;
        if (rc != ERROR_SUCCESS)
            return Fail(std::string("open ") + kExtensionKey, rc);
        rc = RegDeleteValueA(extension.Get(), "");
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            return Fail(std::string("clear ") + kExtensionKey, rc);
        DWORD nSubKeys = 0;
        DWORD nValues = 0;
        rc = RegQueryInfoKeyA(extension.Get(), nullptr, nullptr, nullptr, &nSubKeys, nullptr,
                              nullptr, &nValues, nullptr, nullptr, nullptr, nullptr);
        // The key goes only when we made it and nothing else has come to live in it since.
        if (bCreated && rc == ERROR_SUCCESS && nSubKeys == 0 && nValues == 0) {
            rc = RegDeleteKeyA(HKEY_CURRENT_USER, kExtensionKey);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return Fail(std::string("delete ") + kExtensionKey, rc);
        }
        return true;
    }

    bool RemoveOurs() override {
        const LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, OurKey().c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || Fail("delete " + OurKey(), rc);
    }

    void Announce() override { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

    std::string Overrider() override {
        std::string strChoice;
        if (!ReadText(kUserChoiceKey, "ProgId", strChoice) || strChoice == kOurProgId)
            return {};
        return strChoice;
    }

    std::string ErrorText() const override { return m_strError; }

private:
    // An absent key or value reads as empty.
    bool ReadText(const std::string& strKey, const char* pszValue, std::string& strOut) {
        strOut.clear();
        DWORD cb = 0;
        LONG rc = RegGetValueA(HKEY_CURRENT_USER, strKey.c_str(), pszValue, RRF_RT_REG_SZ, nullptr,
                               nullptr, &cb);
        if (rc == ERROR_FILE_NOT_FOUND)
            return true;
        if (rc != ERROR_SUCCESS)
            return Fail("read " + strKey, rc);
        std::vector<char> buffer(cb + 1, '\0');
        cb = static_cast<DWORD>(buffer.size());
        rc = RegGetValueA(HKEY_CURRENT_USER, strKey.c_str(), pszValue, RRF_RT_REG_SZ, nullptr,
                          buffer.data(), &cb);
        if (rc != ERROR_SUCCESS)
            return Fail("read " + strKey, rc);
        strOut = buffer.data();
        return true;
    }

    bool WriteText(const std::string& strKey, const char* pszValue, const std::string& strText) {
        CKey key;
        LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, strKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, key.Out(), nullptr);
        if (rc != ERROR_SUCCESS)
            return Fail("create " + strKey, rc);
        rc = RegSetValueExA(key.Get(), pszValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(strText.c_str()),
                            static_cast<DWORD>(strText.size() + 1));
        return rc == ERROR_SUCCESS || Fail("write " + strKey, rc);
    }

    bool Fail(const std::string& strWhat, LONG rc) {
        m_strError = strWhat + " (error " + std::to_string(rc) + ")";
        return false;
    }

    std::string m_strError;
    HANDLE m_hLock = nullptr;
    bool m_bLocked = false;
};

} // namespace

std::unique_ptr<CAssociationStore> CreateAssociationStore() {
    return std::make_unique<CRegistryStore>();
}
