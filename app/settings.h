// The settings record and the five operations that keep it in the registry; portable.
#pragma once

#include "platform/registry.h"
#include "platform/text.h"

#include <string>
#include <vector>

// Where the settings live, under HKEY_CURRENT_USER.
inline constexpr char kSettingsKey[] = "SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0";

// One saved entry: what the user last saved for one device.
struct CSavedEntry {
    std::string m_strDevice;
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strRootShareList;
    bool operator==(const CSavedEntry&) const = default;
};

// The settings record the main window works with: the current settings, the confirmation
// switch, and the saved entries (one per device the user ever saved settings for).
struct CMarlowickSettings {
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strIP;
    std::string m_strTargetDevice;
    std::string m_strRootSharelist; // share, optionally followed by folders
    std::string m_strSubFolder;
    int m_nConfirmDialog = 0; // non-zero = on
    // The complete entries in their stored order; an entry read only in part is not among them.
    std::vector<CSavedEntry> m_arrSavedEntries;
    int m_nSavedCount = 0;  // complete entries read when the full settings layout opened
    int m_nSavedIndex = -1; // the selected device's entry, -1 when it has none
};

// Reads and writes the settings record. Every operation is one transaction of the registry
// (platform/registry.h): it holds the user's settings lock, reads one consistent state, and
// stores its values together or not at all. Readers never create the key, writers create it
// when it is missing.
class CSettingsStore {
public:
    explicit CSettingsStore(CRegistry& registry, std::string strKey = kSettingsKey,
                            const CTextOps& text = GetTextOps());

    // True unless "ConfirmDialog" holds something other than "1" (blanks around it aside); a
    // missing key or value means on.
    bool IsConfirmDialogOn() const;
    // Writes "ConfirmDialog" alone; whether it was stored.
    bool SaveConfirmDialog(bool on) const;
    // Reads the seven current settings in their fixed order, stopping at the first value that
    // cannot be read; false only when the key cannot be opened (the record is then unchanged,
    // and LastStatus tells "nothing stored yet" from "cannot be read").
    bool LoadSettings(CMarlowickSettings& settings) const;
    // Appends the complete saved entries to m_arrSavedEntries; their number.
    int LoadSavedEntries(CMarlowickSettings& settings) const;
    // Writes the current settings, the current device's saved entry and "ConfirmDialog", all or
    // nothing, and makes the in-memory entries what is now stored; whether it was stored. The
    // entry is chosen under the lock from what is stored then: the device's own entry (the
    // selected one, m_nSavedIndex, while it still names this device), else the next free one.
    bool SaveSettings(CMarlowickSettings& settings) const;

    // The path handed over to the transfer queue window: the value "NewItem4Transfer", whole
    // and trimmed. Key: false when the key cannot be opened; bRead: false when the value is
    // missing or cannot be read.
    struct CHandOff {
        bool bKey = false;
        bool bRead = false;
        std::string strPath;
    };
    CHandOff ReadHandOff() const;
    // Writes "NewItem4Transfer" alone, as whoever hands a file over does; whether it was stored.
    bool WriteHandOff(const std::string& strPath) const;

    // The outcome of the last operation: kRegOk, kRegErrNotFound when no settings are stored
    // yet, or the error that kept them from being read or stored.
    RegStatus LastStatus() const { return m_nLastStatus; }
    // That error in words for the user (where, and the system's reason); empty after success.
    std::string LastErrorText() const;

private:
    RegStatus Begin(ERegAccess access, std::unique_ptr<CRegistryTransaction>& transaction) const;
    bool Finish(RegStatus rc, const char* pszWhat) const;

    CRegistry& m_registry;
    std::string m_strKey;
    const CTextOps& m_text;
    mutable RegStatus m_nLastStatus = kRegOk;
};
