// The settings record and the five operations that keep it in the registry; portable.
#pragma once

#include "platform/registry.h"
#include "platform/text.h"

#include <string>
#include <vector>

// Where the settings live, under HKEY_CURRENT_USER.
inline constexpr char kSettingsKey[] = "SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0";

// The settings record the main window works with: the current settings, the confirmation
// switch, and the saved entries (one per device the user ever saved settings for; element i of
// each array belongs to entry i).
struct CMarlowickSettings {
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strIP;
    std::string m_strTargetDevice;
    std::string m_strRootSharelist; // share, optionally followed by folders
    std::string m_strSubFolder;
    int m_nConfirmDialog = 0; // non-zero = on
    std::vector<std::string> m_arrSavedDevice;
    std::vector<std::string> m_arrSavedUserName;
    std::vector<std::string> m_arrSavedPassword;
    std::vector<std::string> m_arrSavedRootShareList;
    int m_nSavedCount = 0;  // entries read when the full settings layout opened
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
    // Writes "ConfirmDialog" alone; always true.
    bool SaveConfirmDialog(bool on) const;
    // Reads the seven current settings in their fixed order, stopping at the first value that
    // cannot be read; false only when the key cannot be opened (the record is then unchanged).
    bool LoadSettings(CMarlowickSettings& settings) const;
    // Appends the saved entries to the four arrays; the number of complete entries.
    int LoadSavedEntries(CMarlowickSettings& settings) const;
    // Writes the current settings, the current device's saved entry and "ConfirmDialog", and
    // keeps the in-memory entries in step with what was written; always true.
    bool SaveSettings(CMarlowickSettings& settings) const;

private:
    CRegistry& m_registry;
    std::string m_strKey;
    const CTextOps& m_text;
};
