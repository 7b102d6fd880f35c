// The text of an HTML page for a terminal or a plain text box; portable.
#include "platform/page_text.h"

#include "platform/text.h"

#include <cctype>
#include <cstdint>
#include <string>

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A character reference's code point, or "?" for one that names no character.
void AppendReference(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        out += '?';
    else
        AppendUtf8(out, cp);
}

// Decodes the reference that starts at html[i] ('&'); appends it and returns the length it took,
// or 0 when it is no reference we know (the '&' then stands for itself).
std::size_t DecodeReference(std::string_view html, std::size_t i, std::string& out) {
    // A reference is short: look no further than its longest form, so that a page full of '&'
    // costs time in proportion to its size.
    constexpr std::size_t kLongestReference = 10;
    const std::size_t semi = html.substr(0, i + kLongestReference + 1).find(';', i);
    if (semi == std::string_view::npos)
        return 0;
    const std::string name = Lower(html.substr(i + 1, semi - i - 1));
    static const struct {
        const char* name;
        const char* text;
    } kNamed[] = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                  {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    for (const auto& n : kNamed) {
        if (name == n.name) {
            out += n.text;
            return semi - i + 1;
        }
    }
    if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        std::uint32_t cp = 0;
        const std::size_t from = hex ? 2 : 1;
        if (from >= name.size())
            return 0;
        for (std::size_t k = from; k < name.size(); ++k) {
            const char c = name[k];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            if (digit < 0 || cp > 0x10FFFF)
                return 0;
            cp = cp * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
        }
        AppendReference(out, cp);
        return semi - i + 1;
    }
    return 0;
}

// Collects the text line by line: blanks collapsed, cells joined by tabs.
class CTextSink {
public:
    void Text(std::string_view s) {
        for (char c : s) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                m_bBlank = true;
                continue;
            }
            if (m_bBlank && !m_strLine.empty() && m_strLine.back() != '\t')
                m_strLine += ' ';
            m_bBlank = false;
            // Other control characters (an escape, say) would drive the terminal.
            const bool bControl = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
            m_strLine += bControl ? '?' : c;
        }
    }
    void Cell() {
        m_bBlank = false;
        m_strLine += '\t';
    }
    void EndLine() {
        while (!m_strLine.empty() && (m_strLine.back() == '\t' || m_strLine.back() == ' '))
            m_strLine.pop_back();
        if (!m_strLine.empty())
            m_strOut += m_strLine + "\n";
        m_strLine.clear();
        m_bBlank = false;
    }
    std::string Take() {
        EndLine();
        return std::move(m_strOut);
    }

private:
    std::string m_strOut;
    std::string m_strLine;
    bool m_bBlank = false;
};

bool IsLineTag(const std::string& tag) {
    static const char* const kTags[] = {
        "p",    "br", "div", "tr", "table",   "h1",         "h2",     "h3", "h4",
        "h5",   "h6", "li",  "ul", "ol",      "title",      "pre",    "hr", "form",
        "body", "dt", "dd",  "dl", "caption", "blockquote", "section"};
    for (const char* t : kTags)
        if (tag == t)
            return true;
    return false;
}

} // namespace

std::string fnPageText(std::string_view html) {
    CTextSink sink;
    std::string pending;
    auto flush = [&] {
        sink.Text(pending);
        pending.clear();
    };
    std::string skipUntil; // the closing tag that ends a part left out
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                const std::size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            const std::size_t end = html.find('>', i + 1);
            if (end == std::string_view::npos)
                break;
            std::string_view inner = html.substr(i + 1, end - i - 1);
            i = end + 1;
            const bool closing = !inner.empty() && inner[0] == '/';
            if (closing)
                inner.remove_prefix(1);
            std::size_t n = 0;
            while (n < inner.size() && (std::isalnum(static_cast<unsigned char>(inner[n])) != 0))
                ++n;
            const std::string tag = Lower(inner.substr(0, n));
            if (!skipUntil.empty()) {
                if (closing && tag == skipUntil)
                    skipUntil.clear();
                continue;
            }
            if (!closing && (tag == "head" || tag == "script" || tag == "style")) {
                skipUntil = tag;
                continue;
            }
            flush();
            if (tag == "td" || tag == "th") {
                if (closing)
                    sink.Cell();
            } else if (IsLineTag(tag)) {
                sink.EndLine();
            }
            continue;
        }
        if (!skipUntil.empty()) {
            ++i;
            continue;
        }
        if (c == '&') {
            const std::size_t taken = DecodeReference(html, i, pending);
            if (taken > 0) {
                i += taken;
                continue;
            }
        }
        pending += c;
        ++i;
    }
    flush();
    return sink.Take();
}
