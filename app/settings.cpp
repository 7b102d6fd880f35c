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

// The complete entries as the key holds them: the first value that cannot be read ends the list,
// and so does a blank device name; an entry cut short is left out.
std::vector<CSavedEntry> ReadEntries(CRegistryKey& key, const CTextOps& text) {
    CValueReader reader(key, text);
    std::vector<CSavedEntry> arrEntries;
    for (int n = 0;; ++n) {
        CSavedEntry entry;
        if (!reader.Read(EntryName(n, "Key_TargetDevice"), entry.m_strDevice) ||
            entry.m_strDevice.empty() ||
            !reader.Read(EntryName(n, "Key_UserName"), entry.m_strUserName) ||
            !reader.Read(EntryName(n, "Key_Password"), entry.m_strPassword) ||
            !reader.Read(EntryName(n, "Key_RootShareList"), entry.m_strRootShareList))
            return arrEntries;
        arrEntries.push_back(std::move(entry));
    }
}

// The entry a save writes, chosen from the entries as they are stored now (another window or
// process may have added some since this window read them): the window's own entry while it
// still holds this device; else this device's entry, when one was saved meanwhile; else the next
// free number. A blank device name never goes into an existing entry, where it would end the
// list.
std::size_t EntryToWrite(const CMarlowickSettings& s, const std::vector<CSavedEntry>& arrEntries,
                         const CTextOps& text) {
    const std::string device = text.Trim(s.m_strTargetDevice);
    const auto holdsDevice = [&](std::size_t i) {
        return !device.empty() && text.CompareNoCase(arrEntries[i].m_strDevice, device) == 0;
    };
    const auto selected = static_cast<std::size_t>(s.m_nSavedIndex);
    if (s.m_nSavedIndex >= 0 && selected < arrEntries.size() && holdsDevice(selected))
        return selected;
    for (std::size_t i = 0; i < arrEntries.size(); ++i) {
        if (holdsDevice(i))
            return i;
    }
    return arrEntries.size();
}

} // namespace

CSettingsStore::CSettingsStore(CRegistry& registry, std::string strKey, const CTextOps& text)
    : m_registry(registry), m_strKey(std::move(strKey)), m_text(text) {}

std::string CSettingsStore::LastErrorText() const {
    if (m_nLastStatus == kRegOk)
        return {};
    const std::string text = m_registry.LastErrorText();
    return text.empty() ? "the registry answered error " + std::to_string(m_nLastStatus) : text;
}

RegStatus CSettingsStore::Begin(ERegAccess access,
                                std::unique_ptr<CRegistryTransaction>& transaction) const {
    m_nLastStatus = m_registry.BeginTransaction(m_strKey, access, transaction);
    if (m_nLastStatus != kRegOk && m_nLastStatus != kRegErrNotFound)
        mwDebugOutput("settings: the key cannot be opened (" + std::to_string(m_nLastStatus) +
                      "): " + m_registry.LastErrorText());
    return m_nLastStatus;
}

bool CSettingsStore::Finish(RegStatus rc, const char* pszWhat) const {
    m_nLastStatus = rc;
    if (rc != kRegOk)
        mwDebugOutput(std::string("settings: ") + pszWhat + " failed (" + std::to_string(rc) +
                      "): " + m_registry.LastErrorText());
    return rc == kRegOk;
}

bool CSettingsStore::IsConfirmDialogOn() const {
    std::unique_ptr<CRegistryTransaction> key;
    if (Begin(ERegAccess::Query, key) != kRegOk)
        return true;
    std::string text;
    if (!CValueReader(*key, m_text).Read("ConfirmDialog", text))
        text = "1";
    return IsOnText(text);
}

bool CSettingsStore::SaveConfirmDialog(bool on) const {
    std::unique_ptr<CRegistryTransaction> key;
    RegStatus rc = Begin(ERegAccess::All, key);
    if (rc == kRegOk)
        rc = key->SetStringValue("ConfirmDialog", on ? "1" : "0");
    if (rc == kRegOk)
        rc = key->Commit();
    return Finish(rc, "storing ConfirmDialog");
}

CSettingsStore::CHandOff CSettingsStore::ReadHandOff() const {
    CHandOff handOff;
    std::unique_ptr<CRegistryTransaction> key;
    if (Begin(ERegAccess::Query, key) != kRegOk)
        return handOff;
    handOff.bKey = true;
    // Read whole, whatever its length: a long path is queued as it was handed over.
    handOff.bRead = CValueReader(*key, m_text).Read("NewItem4Transfer", handOff.strPath);
    return handOff;
}

bool CSettingsStore::WriteHandOff(const std::string& strPath) const {
    std::unique_ptr<CRegistryTransaction> key;
    RegStatus rc = Begin(ERegAccess::All, key);
    if (rc == kRegOk)
        rc = key->SetStringValue("NewItem4Transfer", strPath);
    if (rc == kRegOk)
        rc = key->Commit();
    return Finish(rc, "handing over a file");
}

bool CSettingsStore::LoadSettings(CMarlowickSettings& s) const {
    std::unique_ptr<CRegistryTransaction> key;
    if (Begin(ERegAccess::Query, key) != kRegOk)
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
    std::unique_ptr<CRegistryTransaction> key;
    if (Begin(ERegAccess::Query, key) != kRegOk)
        return 0;
    auto arrEntries = ReadEntries(*key, m_text);
    s.m_arrSavedEntries.insert(s.m_arrSavedEntries.end(), arrEntries.begin(), arrEntries.end());
    return static_cast<int>(arrEntries.size());
}

bool CSettingsStore::SaveSettings(CMarlowickSettings& s) const {
    // One transaction: the entry number is chosen and every value written under the lock, and
    // the values are stored together or not at all.
    std::unique_ptr<CRegistryTransaction> key;
    if (Begin(ERegAccess::All, key) != kRegOk)
        return false;
    auto arrEntries = ReadEntries(*key, m_text);
    const std::size_t n = EntryToWrite(s, arrEntries, m_text);
    const auto entry = [n](const char* base) { return EntryName(static_cast<int>(n), base); };
    const std::pair<std::string, std::string> arrValues[] = {
        {"Key_UserName", s.m_strUserName},
        {entry("Key_UserName"), s.m_strUserName},
        {"Key_Password", s.m_strPassword},
        {entry("Key_Password"), s.m_strPassword},
        {"Key_RootShareList", s.m_strRootSharelist},
        {entry("Key_RootShareList"), s.m_strRootSharelist},
        {"Key_SubDir", s.m_strSubFolder},
        {"Key_IP", s.m_strIP},
        {"Key_TargetDevice", s.m_strTargetDevice},
        {entry("Key_TargetDevice"), s.m_strTargetDevice},
        {"ConfirmDialog", s.m_nConfirmDialog != 0 ? "1" : "0"},
    };
    RegStatus rc = kRegOk;
    for (const auto& [name, text] : arrValues) {
        if (rc == kRegOk)
            rc = key->SetStringValue(name, text);
    }
    if (rc == kRegOk)
        rc = key->Commit();
    if (!Finish(rc, "storing the settings"))
        return false;

    // The in-memory entries become what a fresh read gives: the stored ones, this device's
    // among them. A blank device name ends the list when read, so such an entry is not counted.
    const std::string device = m_text.Trim(s.m_strTargetDevice);
    if (!device.empty()) {
        CSavedEntry saved{device, m_text.Trim(s.m_strUserName), m_text.Trim(s.m_strPassword),
                          m_text.Trim(s.m_strRootSharelist)};
        if (n < arrEntries.size())
            arrEntries[n] = std::move(saved);
        else
            arrEntries.push_back(std::move(saved));
        s.m_nSavedIndex = static_cast<int>(n);
    }
    s.m_arrSavedEntries = std::move(arrEntries);
    s.m_nSavedCount = static_cast<int>(s.m_arrSavedEntries.size());
    return true;
}
