// The text of an HTML page for a terminal or a plain text box: tags dropped, table rows as lines;
// portable.
#pragma once

#include <string>
#include <string_view>

// Block elements (headings, paragraphs, line breaks, table rows) end a line; the cells of a row
// are separated by tabs; the page's head, scripts and styles are left out; character references
// are decoded; runs of blanks become one blank, other control characters "?", and empty lines
// are dropped.
std::string fnPageText(std::string_view html);
