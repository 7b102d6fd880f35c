// Text operations on narrow strings in the system's code page; portable interface.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The run-time's multibyte text functions, shaped after what the core needs: the Windows backend
// works in the ANSI code page, the Linux one in UTF-8. No operation ever matches or cuts on the
// second (trail) byte of a multibyte character.
class CTextOps {
public:
    virtual ~CTextOps() = default;
    // <0, 0, >0 like strcmp, ignoring case.
    virtual int CompareNoCase(std::string_view a, std::string_view b) const = 0;
    // Position of the first occurrence of needle at or after from that begins on a character
    // boundary, or npos.
    virtual std::size_t Find(std::string_view hay, std::string_view needle,
                             std::size_t from = 0) const = 0;
    virtual std::string ToUpper(std::string_view s) const = 0;
    // UTF-16 text in this code page; characters it cannot hold become "?" (in UTF-8, an unpaired
    // surrogate becomes U+FFFD).
    virtual std::string FromUtf16(std::u16string_view s) const = 0;
    // Leading and trailing blanks, tabs and line ends removed.
    std::string Trim(std::string_view s) const;
    // Whether file paths on this system ignore letter case (Windows) or not (Linux).
    virtual bool PathsIgnoreCase() const = 0;
    // True when hay holds path somewhere, compared as this system compares paths.
    bool ContainsPath(std::string_view hay, std::string_view path) const;
};

// Appends one code point in UTF-8, as it is: callers decide what is valid.
void AppendUtf8(std::string& out, char32_t cp);

// The process-wide text backend of this platform.
const CTextOps& GetTextOps();
