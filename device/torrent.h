// Checks uploaded .torrent files and computes their info hash; portable.
#pragma once

#include <string>
#include <string_view>

// True when data is exactly one well-formed bencoded value, a dictionary that holds an "info"
// dictionary; info then spans that dictionary's bytes. Otherwise false with the reason in strWhy.
bool CheckTorrent(std::string_view data, std::string_view& info, std::string& strWhy);

// The SHA-1 of the info dictionary's bytes, as 40 lower-case hex digits.
std::string InfoHashHex(std::string_view info);
