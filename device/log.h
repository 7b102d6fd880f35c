// One-line log records of the reference device on standard error; Linux platform code.
#pragma once

#include <string>
#include <string_view>

// Writes "marlowick-device: <UTC time> <text>" as one line; safe from any thread. Whatever the
// text holds, it stays one line that cannot move the cursor or colour a terminal: see LogSafe.
void DeviceLog(const std::string& text);

// The text with every control character (C0, DEL, and C1 as UTF-8) blanked to a space and every
// byte that is not part of valid UTF-8 shown as '?'. Clients choose much of what is logged:
// request lines, account and file names.
std::string LogSafe(std::string_view text);

// The current UTC time as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();

// The system's text for an error number, in a form that is safe from any thread.
std::string ErrnoText(int nError);
