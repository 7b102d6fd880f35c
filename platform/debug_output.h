// Debugger output (the system interface's diagnostics channel); portable declaration.
#pragma once

#include <string_view>

// Writes one diagnostic line where a developer looks for it: the debugger on Windows; standard
// error on Linux when MARLOWICK_DEBUG is set. Never shown to the user.
void mwDebugOutput(std::string_view line);
