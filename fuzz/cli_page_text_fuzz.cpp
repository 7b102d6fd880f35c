// Fuzz target: the command line front end's reading of HTML pages from a device; Linux test tool.
#include "platform/page_text.h"
#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text =
        fnPageText(std::string_view(reinterpret_cast<const char*>(data), size));
    // Whatever the page holds, the terminal gets plain lines: no control characters but the line
    // end and the cell tab, no empty lines, blanks collapsed and never at a line's end.
    Check(text.empty() || text.back() == '\n', "the last line has no end");
    for (unsigned char c : text) {
        Check(c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7f), "a control character");
    }
    for (const char* bad : {"\n\n", "  ", " \t", " \n", "\t\n"}) {
        Check(text.find(bad) == std::string::npos, "empty line or stray blanks");
    }
    Check(text.empty() || text.front() != '\n', "an empty first line");
    return 0;
}
