// Reading and writing the .reg text format of the per-user registry file; Linux backend part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Value types as the registry numbers them; a query returns the data whatever the type.
constexpr std::uint32_t kRegTypeSz = 1;
constexpr std::uint32_t kRegTypeExpandSz = 2;
constexpr std::uint32_t kRegTypeBinary = 3;
constexpr std::uint32_t kRegTypeDword = 4;
constexpr std::uint32_t kRegTypeMultiSz = 7;

struct CRegFileValue {
    std::string strName; // "" is the key's default value, spelled @
    std::uint32_t nType = kRegTypeSz;
    std::string data; // the bytes a query returns; strings in UTF-8 with their NUL
    // The entry exactly as it was read (continuation lines included), written back unchanged so
    // that values we never set keep their spelling; empty for values we set.
    std::string strSpelling;
};

struct CRegFileKey {
    std::string strPath; // full path, root included: HKEY_CURRENT_USER\SOFTWARE\...
    std::vector<CRegFileValue> arrValues;
};

// The two first lines the format knows. The first is followed by text in the system's code
// page, the second by UTF-16 in files that Windows writes; both are read, and written in UTF-8.
enum class ERegFileVersion { Regedit4, Version5 };

struct CRegFileDocument {
    ERegFileVersion eVersion = ERegFileVersion::Version5;
    std::vector<CRegFileKey> arrKeys;

    // Key paths and value names compare without regard to case.
    CRegFileKey* FindKey(std::string_view path);
    // True when the key or any key below it is present, as the registry has every parent of a key.
    bool HasKeyOrChild(std::string_view path) const;
    CRegFileKey& FindOrAddKey(std::string_view path);
    static CRegFileValue* FindValue(CRegFileKey& key, std::string_view name);
    static void SetString(CRegFileKey& key, std::string_view name, std::string_view text);
};

// Parses a whole file (UTF-8, UTF-8 with a byte-order mark, or UTF-16LE with one). Answers false
// with a reason when the text is not a well-formed file of the format; doc is then unusable.
// Import-style deletions ("[-key]", "name"=-) are applied as they are met.
bool ParseRegFile(std::string_view bytes, CRegFileDocument& doc, std::string& strError);

// The document as UTF-8 text with line feeds, under the first line of its version.
std::string WriteRegFile(const CRegFileDocument& doc);
