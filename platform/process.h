// Starting a program of ours and knowing our own path; portable interface (backends:
// platform/posix/process_posix.cpp, platform/win32/process_win32.cpp).
#pragma once

#include <string>
#include <vector>

// Starts the program with the arguments, detached: not waited for, shown as it shows itself.
// On Windows the arguments are joined by single blanks into the command line unquoted, as our
// programs read their command line whole; on Linux each is one argument. True when it started.
bool StartProgram(const std::string& strProgram, const std::vector<std::string>& arrArgs);

// The full path of the running program's executable file; empty when the system does not say.
std::string GetModulePath();
