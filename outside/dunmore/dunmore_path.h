// Where Dunmore keeps its log file; portable declaration, one backend per platform.
#pragma once

#include <cstdio>
#include <filesystem>

// The per-user log file; empty when no home can be found.
std::filesystem::path DunmoreLogPath();
// Opens the file for appending, readable by its owner only where the platform has modes.
std::FILE* DunmoreOpenForAppend(const std::filesystem::path& path);
