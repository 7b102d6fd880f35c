// One HTTP GET of a whole page, for the device's status page; portable interface.
#pragma once

#include <cstddef>
#include <string>

// GETs strUrl and gives its body, within nTimeoutMs from the start (connecting included). False
// with the reason in strError when the page could not be fetched or the answer was not 200.
// Answers larger than kMaxPageBytes are refused.
bool fnFetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                 std::string& strError);

inline constexpr std::size_t kMaxPageBytes = 8 * 1024 * 1024;
