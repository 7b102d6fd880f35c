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

// Reads and writes the settings record. Every operation opens the key afresh and closes it
// before it returns; readers never create the key, writers create it when it is missing.
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
    // cannot be read; false only when the key cannot be opened (the record is then unchanged).
    bool LoadSettings(CMarlowickSettings& settings) const;
    // Appends the complete saved entries to m_arrSavedEntries; their number.
    int LoadSavedEntries(CMarlowickSettings& settings) const;
    // Writes the current settings, the current device's saved entry and "ConfirmDialog", and
    // keeps the in-memory entries in step with what was written; whether everything was stored.
    bool SaveSettings(CMarlowickSettings& settings) const;

private:
    CRegistry& m_registry;
    std::string m_strKey;
    const CTextOps& m_text;
};
