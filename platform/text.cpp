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
