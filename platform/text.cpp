// Text operations shared by every backend; portable.
#include "platform/text.h"

std::string CTextOps::Trim(std::string_view s) const {
    constexpr std::string_view kBlank = " \t\r\n\v\f";
    const auto first = s.find_first_not_of(kBlank);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(kBlank);
    return std::string(s.substr(first, last - first + 1));
}

bool CTextOps::ContainsPath(std::string_view hay, std::string_view path) const {
    if (PathsIgnoreCase())
        return Find(ToUpper(hay), ToUpper(path)) != std::string::npos;
    return Find(hay, path) != std::string::npos;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
