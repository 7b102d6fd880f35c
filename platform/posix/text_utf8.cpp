// Text operations over UTF-8; Linux backend of platform/text.h.
#include "platform/text.h"

#include <cctype>
#include <cwctype>

namespace {

bool IsTrailByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one character at s[i]; malformed bytes count as one character each, taken as they are.
char32_t Decode(std::string_view s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if (!IsTrailByte(t)) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    i += extra + 1;
    return cp;
}

class CUtf8Text final : public CTextOps {
public:
    int CompareNoCase(std::string_view a, std::string_view b) const override {
        std::size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            const auto ca = std::towlower(static_cast<wint_t>(Decode(a, i)));
            const auto cb = std::towlower(static_cast<wint_t>(Decode(b, j)));
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        if (i < a.size())
            return 1;
        if (j < b.size())
            return -1;
        return 0;
    }

    std::size_t Find(std::string_view hay, std::string_view needle,
                     std::size_t from) const override {
        for (auto pos = hay.find(needle, from); pos != std::string_view::npos;
             pos = hay.find(needle, pos + 1)) {
            if (!IsTrailByte(static_cast<unsigned char>(hay[pos])))
                return pos;
        }
        return std::string_view::npos;
    }

    std::string ToUpper(std::string_view s) const override {
        // Only ASCII letters change: upper-casing never alters the byte length of the text.
        std::string out(s);
        for (auto& c : out) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x80)
                c = static_cast<char>(std::toupper(u));
        }
        return out;
    }

    bool PathsIgnoreCase() const override { return false; }
    std::string FromUtf16(std::u16string_view s) const override {
        std::string out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size(); ++i) {
            char32_t cp = s[i];
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                ++i;
            } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = 0xFFFD; // an unpaired surrogate is no character: mark it, never drop it
            }
            AppendUtf8(out, cp);
        }
        return out;
    }
};

} // namespace

const CTextOps& GetTextOps() {
    static const CUtf8Text text;
    return text;
}
