// The settings record and the five operations that keep it in the registry; portable.
#include "app/settings.h"

#include "platform/debug_output.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// The size every read starts from; a value that does not fit is read again at its own size.
constexpr std::uint32_t kFirstReadSize = 512;
constexpr int kReadAttempts = 3;

// Reads values by the query rule: one size serves every query of one operation, starting at
// kFirstReadSize and then holding what the last query reported, so a value longer than the one
// before it fails once with "more data" and is read whole on the next attempt.
class CValueReader {
public:
    CValueReader(CRegistryKey& key, const CTextOps& text) : m_key(key), m_text(text) {}

    // The value's text up to its first NUL, trimmed; false when it could not be read.
    bool Read(const std::string& name, std::string& out) {
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            // Zero-filled and one byte larger than the size handed over, so the text always ends.
            std::vector<char> buffer(std::max(kFirstReadSize, m_nSize) + std::size_t{1}, '\0');
            if (m_key.QueryValue(name, buffer.data(), m_nSize) == kRegOk) {
                const auto length = std::min<std::size_t>(m_nSize, buffer.size() - 1);
                out = m_text.Trim(std::string_view(buffer.data(), strnlen(buffer.data(), length)));
                return true;
            }
        }
        return false;
    }

private:
    CRegistryKey& m_key;
    const CTextOps& m_text;
    std::uint32_t m_nSize = kFirstReadSize;
};

std::string EntryName(int n, const char* base) {
    return std::to_string(n) + "_" + base;
}

// One reading of the switch for every reader: on exactly when the trimmed text is "1".
bool IsOnText(const std::string& text) {
    return text == "1";
}

// False, with a line to the debugger output, when the value was not stored.
bool Write(CRegistryKey& key, const std::string& name, const std::string& text) {
    const RegStatus rc = key.SetStringValue(name, text);
    if (rc != kRegOk)
        mwDebugOutput("settings: writing " + name + " failed (" + std::to_string(rc) + ")");
    return rc == kRegOk;
}

} // namespace

CSettingsStore::CSettingsStore(CRegistry& registry, std::string strKey, const CTextOps& text)
    : m_registry(registry), m_strKey(std::move(strKey)), m_text(text) {}

bool CSettingsStore::IsConfirmDialogOn() const {
    std::unique_ptr<CRegistryKey> key;
    if (m_registry.OpenKey(m_strKey, ERegAccess::Query, key) != kRegOk)
        return true;
    std::string text;
    if (!CValueReader(*key, m_text).Read("ConfirmDialog", text))
        text = "1";
    return IsOnText(text);
}

bool CSettingsStore::SaveConfirmDialog(bool on) const {
    std::unique_ptr<CRegistryKey> key;
    if (m_registry.OpenKey(m_strKey, ERegAccess::All, key) != kRegOk &&
        m_registry.CreateKey(m_strKey, key) != kRegOk) {
        mwDebugOutput("settings: the key cannot be opened or created");
        return false;
    }
    return Write(*key, "ConfirmDialog", on ? "1" : "0");
}

bool CSettingsStore::LoadSettings(CMarlowickSettings& s) const {
    std::unique_ptr<CRegistryKey> key;
    if (m_registry.OpenKey(m_strKey, ERegAccess::Query, key) != kRegOk)
        return false;
    CValueReader reader(*key, m_text);
    std::string confirm;
    // In this order; the first value that cannot be read ends the reading.
    const bool complete = reader.Read("Key_UserName", s.m_strUserName) &&
                          reader.Read("Key_Password", s.m_strPassword) &&
                          reader.Read("Key_RootShareList", s.m_strRootSharelist) &&
                          reader.Read("Key_SubDir", s.m_strSubFolder) &&
                          reader.Read("Key_IP", s.m_strIP) && reader.Read("ConfirmDialog", confirm);
    if (complete) {
        s.m_nConfirmDialog = IsOnText(confirm) ? 1 : 0;
        reader.Read("Key_TargetDevice", s.m_strTargetDevice);
    }
    return true;
}

int CSettingsStore::LoadSavedEntries(CMarlowickSettings& s) const {
    std::unique_ptr<CRegistryKey> key;
    if (m_registry.OpenKey(m_strKey, ERegAccess::Query, key) != kRegOk)
        return 0;
    CValueReader reader(*key, m_text);
    int n = 0;
    for (;; ++n) {
        // The first value that cannot be read ends the list; so does a blank device name. An
        // entry cut short is left out, so the list holds complete entries only.
        CSavedEntry entry;
        if (!reader.Read(EntryName(n, "Key_TargetDevice"), entry.m_strDevice) ||
            entry.m_strDevice.empty() ||
            !reader.Read(EntryName(n, "Key_UserName"), entry.m_strUserName) ||
            !reader.Read(EntryName(n, "Key_Password"), entry.m_strPassword) ||
            !reader.Read(EntryName(n, "Key_RootShareList"), entry.m_strRootShareList))
            break;
        s.m_arrSavedEntries.push_back(std::move(entry));
    }
    return n;
}

bool CSettingsStore::SaveSettings(CMarlowickSettings& s) const {
    std::unique_ptr<CRegistryKey> key;
    if (m_registry.OpenKey(m_strKey, ERegAccess::All, key) != kRegOk &&
        m_registry.CreateKey(m_strKey, key) != kRegOk) {
        mwDebugOutput("settings: the key cannot be opened or created");
        return false;
    }
    // A device without an entry gets the next free number.
    const int n = s.m_nSavedIndex != -1 ? s.m_nSavedIndex : s.m_nSavedCount;
    bool bStored = true;
    bStored &= Write(*key, "Key_UserName", s.m_strUserName);
    bStored &= Write(*key, EntryName(n, "Key_UserName"), s.m_strUserName);
    bStored &= Write(*key, "Key_Password", s.m_strPassword);
    bStored &= Write(*key, EntryName(n, "Key_Password"), s.m_strPassword);
    bStored &= Write(*key, "Key_RootShareList", s.m_strRootSharelist);
    bStored &= Write(*key, EntryName(n, "Key_RootShareList"), s.m_strRootSharelist);
    bStored &= Write(*key, "Key_SubDir", s.m_strSubFolder);
    bStored &= Write(*key, "Key_IP", s.m_strIP);
    bStored &= Write(*key, "Key_TargetDevice", s.m_strTargetDevice);
    bStored &= Write(*key, EntryName(n, "Key_TargetDevice"), s.m_strTargetDevice);
    bStored &= Write(*key, "ConfirmDialog", s.m_nConfirmDialog != 0 ? "1" : "0");

    // Keep the in-memory entries as a fresh read would give them: the next device without an
    // entry saved from this window then gets a number of its own, and this device is known. A
    // blank device name ends the list when read, so such an entry is not counted.
    const std::string device = m_text.Trim(s.m_strTargetDevice);
    if (bStored && n >= 0 && !device.empty()) {
        const auto i = static_cast<std::size_t>(n);
        if (s.m_arrSavedEntries.size() <= i)
            s.m_arrSavedEntries.resize(i + 1);
        s.m_arrSavedEntries[i] =
            CSavedEntry{device, m_text.Trim(s.m_strUserName), m_text.Trim(s.m_strPassword),
                        m_text.Trim(s.m_strRootSharelist)};
        s.m_nSavedCount = std::max(s.m_nSavedCount, n + 1);
        s.m_nSavedIndex = n;
    }
    return bStored;
}
