// The registry under HKEY_CURRENT_USER; Windows backend of platform/registry.h.
#include "platform/registry.h"

#include <windows.h>

namespace {

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
        return static_cast<RegStatus>(rc);
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
        return static_cast<RegStatus>(rc);
    }
};

} // namespace

std::unique_ptr<CRegistry> OpenUserRegistry() {
    return std::make_unique<CWin32Registry>();
}
