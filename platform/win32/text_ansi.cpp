// Text operations in the ANSI code page; Windows backend of platform/text.h.
#include "platform/text.h"

#include <windows.h>

namespace {

class CAnsiText final : public CTextOps {
public:
    int CompareNoCase(std::string_view a, std::string_view b) const override {
        const int r =
            CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                           static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
        return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
    }

    std::size_t Find(std::string_view hay, std::string_view needle,
                     std::size_t from) const override {
        // Walk character by character so that a match never begins on a trail byte.
        std::size_t pos = 0;
        while (pos < hay.size()) {
            if (pos >= from && hay.substr(pos, needle.size()) == needle)
                return pos;
            pos += IsDBCSLeadByte(static_cast<BYTE>(hay[pos])) && pos + 1 < hay.size() ? 2 : 1;
        }
        return needle.empty() && from <= hay.size() ? from : std::string_view::npos;
    }

    std::string ToUpper(std::string_view s) const override {
        std::string out(s);
        if (!out.empty())
            CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
        return out;
    }

    bool PathsIgnoreCase() const override { return true; }
    std::string FromUtf16(std::u16string_view s) const override {
        if (s.empty())
            return {};
        const auto* wide = reinterpret_cast<const wchar_t*>(s.data());
        const int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(s.size()), nullptr, 0,
                                          nullptr, nullptr);
        std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
        if (n > 0)
            WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(s.size()), out.data(), n, nullptr,
                                nullptr);
        return out;
    }
};

} // namespace

const CTextOps& GetTextOps() {
    static const CAnsiText text;
    return text;
}
