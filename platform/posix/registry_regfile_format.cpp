// Reading and writing the .reg text format of the per-user registry file; Linux backend part.
#include "platform/posix/registry_regfile_format.h"

#include "platform/text.h"

#include <cstdio>

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kBlank = " \t";

bool EqualNoCase(std::string_view a, std::string_view b) {
    return GetTextOps().CompareNoCase(a, b) == 0;
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD rather than vanishing.
std::string Utf16LeToUtf8(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return GetTextOps().FromUtf16(units);
}

std::string_view TrimBlank(std::string_view s) {
    const auto first = s.find_first_not_of(kBlank);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlank) - first + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at s[pos] (which is '"'); pos ends after the closing quote.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out, std::string& strError) {
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos == s.size())
            break;
        switch (s[pos]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += '\0';
            break;
        default:
            strError = "unknown escape \\" + std::string(1, s[pos]);
            return false;
        }
    }
    strError = "unterminated string";
    return false;
}

// "aa,bb,cc" with blanks allowed around the commas.
bool ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    s = TrimBlank(s);
    if (s.empty())
        return true;
    std::size_t pos = 0;
    while (true) {
        const auto comma = s.find(',', pos);
        const auto item =
            TrimBlank(s.substr(pos, comma == std::string_view::npos ? s.npos : comma - pos));
        if (item.empty() || item.size() > 2)
            return false;
        int v = 0;
        for (char c : item) {
            const int d = HexDigit(c);
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        out += static_cast<char>(v);
        if (comma == std::string_view::npos)
            return true;
        pos = comma + 1;
    }
}

// The data part of a value entry, after the '='. deleted is set for the "-" spelling.
bool ParseData(std::string_view s, ERegFileVersion version, CRegFileValue& value, bool& deleted,
               std::string& strError) {
    deleted = false;
    if (s.starts_with('"')) {
        std::size_t pos = 0;
        std::string text;
        if (!ParseQuoted(s, pos, text, strError))
            return false;
        if (!TrimBlank(s.substr(pos)).empty()) {
            strError = "text after a string value";
            return false;
        }
        value.nType = kRegTypeSz;
        value.data = std::move(text);
        value.data += '\0';
        return true;
    }
    if (TrimBlank(s) == "-") {
        deleted = true;
        return true;
    }
    if (s.starts_with("dword:")) {
        const auto digits = TrimBlank(s.substr(6));
        if (digits.empty() || digits.size() > 8) {
            strError = "bad dword";
            return false;
        }
        std::uint32_t v = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                strError = "bad dword";
                return false;
            }
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        value.nType = kRegTypeDword;
        value.data.clear();
        for (int i = 0; i < 4; ++i)
            value.data += static_cast<char>((v >> (8 * i)) & 0xFF);
        return true;
    }
    if (s.starts_with("hex")) {
        std::size_t pos = 3;
        std::uint32_t type = kRegTypeBinary;
        if (pos < s.size() && s[pos] == '(') {
            const auto close = s.find(')', pos);
            if (close == std::string_view::npos || close == pos + 1 || close - pos > 9) {
                strError = "bad hex type";
                return false;
            }
            type = 0;
            for (auto i = pos + 1; i < close; ++i) {
                const int d = HexDigit(s[i]);
                if (d < 0) {
                    strError = "bad hex type";
                    return false;
                }
                type = type * 16 + static_cast<std::uint32_t>(d);
            }
            pos = close + 1;
        }
        if (pos >= s.size() || s[pos] != ':') {
            strError = "bad hex value";
            return false;
        }
        std::string bytes;
        if (!ParseHexBytes(s.substr(pos + 1), bytes)) {
            strError = "bad hex bytes";
            return false;
        }
        // Version 5 files hold the string types in UTF-16; a query answers them in our code page,
        // as the narrow registry functions do.
        const bool isText =
            type == kRegTypeSz || type == kRegTypeExpandSz || type == kRegTypeMultiSz;
        if (isText && version == ERegFileVersion::Version5 && bytes.size() % 2 == 0)
            bytes = Utf16LeToUtf8(bytes);
        value.nType = type;
        value.data = std::move(bytes);
        return true;
    }
    strError = "unknown value spelling";
    return false;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        auto line = text.substr(pos, end - pos);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

void RemoveKeyTree(CRegFileDocument& doc, std::string_view path) {
    std::erase_if(doc.arrKeys, [&](const CRegFileKey& key) {
        return EqualNoCase(key.strPath, path) ||
               (key.strPath.size() > path.size() && key.strPath[path.size()] == '\\' &&
                EqualNoCase(std::string_view(key.strPath).substr(0, path.size()), path));
    });
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

CRegFileKey* CRegFileDocument::FindKey(std::string_view path) {
    for (auto& key : arrKeys) {
        if (EqualNoCase(key.strPath, path))
            return &key;
    }
    return nullptr;
}

bool CRegFileDocument::HasKeyOrChild(std::string_view path) const {
    for (const auto& key : arrKeys) {
        if (EqualNoCase(key.strPath, path))
            return true;
        if (key.strPath.size() > path.size() && key.strPath[path.size()] == '\\' &&
            EqualNoCase(std::string_view(key.strPath).substr(0, path.size()), path))
            return true;
    }
    return false;
}

CRegFileKey& CRegFileDocument::FindOrAddKey(std::string_view path) {
    if (auto* key = FindKey(path))
        return *key;
    arrKeys.push_back(CRegFileKey{std::string(path), {}});
    return arrKeys.back();
}

CRegFileValue* CRegFileDocument::FindValue(CRegFileKey& key, std::string_view name) {
    for (auto& value : key.arrValues) {
        if (EqualNoCase(value.strName, name))
            return &value;
    }
    return nullptr;
}

void CRegFileDocument::SetString(CRegFileKey& key, std::string_view name, std::string_view text) {
    CRegFileValue* value = FindValue(key, name);
    if (!value) {
        key.arrValues.push_back(CRegFileValue{std::string(name), kRegTypeSz, {}, {}});
        value = &key.arrValues.back();
    }
    value->nType = kRegTypeSz;
    value->data.assign(text);
    value->data += '\0';
    value->strSpelling.clear();
}

bool ParseRegFile(std::string_view bytes, CRegFileDocument& doc, std::string& strError) {
    doc = CRegFileDocument{};
    std::string decoded;
    if (bytes.starts_with("\xFF\xFE")) {
        decoded = Utf16LeToUtf8(bytes.substr(2));
        bytes = decoded;
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (bytes.find('\0') != std::string_view::npos) {
        strError = "NUL byte in the text";
        return false;
    }
    const auto lines = SplitLines(bytes);
    std::size_t i = 0;
    while (i < lines.size() && TrimBlank(lines[i]).empty())
        ++i;
    if (i == lines.size())
        return true; // an empty file holds no keys
    const auto header = TrimBlank(lines[i]);
    if (header == kHeader4) {
        doc.eVersion = ERegFileVersion::Regedit4;
    } else if (header == kHeader5) {
        doc.eVersion = ERegFileVersion::Version5;
    } else {
        strError = "unknown first line";
        return false;
    }
    CRegFileKey* current = nullptr;
    bool currentDeleted = false;
    for (++i; i < lines.size(); ++i) {
        const auto lineNo = std::to_string(i + 1);
        const auto line = TrimBlank(lines[i]);
        if (line.empty() || line.starts_with(';'))
            continue;
        if (line.starts_with('[')) {
            if (!line.ends_with(']') || line.size() < 3) {
                strError = "line " + lineNo + ": bad key line";
                return false;
            }
            auto path = line.substr(1, line.size() - 2);
            if (path.starts_with('-')) {
                RemoveKeyTree(doc, path.substr(1));
                current = nullptr;
                currentDeleted = true;
                continue;
            }
            while (path.ends_with('\\'))
                path.remove_suffix(1);
            if (path.empty()) {
                strError = "line " + lineNo + ": empty key name";
                return false;
            }
            current = &doc.FindOrAddKey(path);
            currentDeleted = false;
            continue;
        }
        if (!line.starts_with('"') && !line.starts_with('@')) {
            strError = "line " + lineNo + ": not a key or value";
            return false;
        }
        if (!current && !currentDeleted) {
            strError = "line " + lineNo + ": value outside a key";
            return false;
        }
        CRegFileValue value;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, value.strName, strError)) {
            strError = "line " + lineNo + ": value name: " + strError;
            return false;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=') {
            strError = "line " + lineNo + ": '=' missing";
            return false;
        }
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        // A hex value may go on over following lines, each but the last ending in a backslash.
        std::string data(line.substr(pos));
        std::string spelling(lines[i]);
        if (data.starts_with("hex")) {
            while (data.ends_with('\\') && i + 1 < lines.size()) {
                data.pop_back();
                ++i;
                data += TrimBlank(lines[i]);
                spelling += '\n';
                spelling += lines[i];
            }
        }
        bool deleted = false;
        if (!ParseData(data, doc.eVersion, value, deleted, strError)) {
            strError = "line " + lineNo + ": " + strError;
            return false;
        }
        if (!current)
            continue; // inside a deleted key: nothing to keep
        value.strSpelling = std::move(spelling);
        auto& values = current->arrValues;
        std::erase_if(
            values, [&](const CRegFileValue& v) { return EqualNoCase(v.strName, value.strName); });
        if (!deleted)
            values.push_back(std::move(value));
    }
    return true;
}

std::string WriteRegFile(const CRegFileDocument& doc) {
    std::string out(doc.eVersion == ERegFileVersion::Regedit4 ? kHeader4 : kHeader5);
    out += "\n";
    for (const auto& key : doc.arrKeys) {
        out += "\n[";
        out += key.strPath;
        out += "]\n";
        for (const auto& value : key.arrValues) {
            if (!value.strSpelling.empty()) {
                out += value.strSpelling;
            } else {
                out += value.strName.empty() ? "@" : "\"" + Escape(value.strName) + "\"";
                std::string_view text = value.data;
                if (text.ends_with('\0'))
                    text.remove_suffix(1);
                out += "=\"";
                out += Escape(text);
                out += "\"";
            }
            out += "\n";
        }
    }
    return out;
}
