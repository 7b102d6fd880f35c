// The system's last-error record and its text; portable interface.
#pragma once

#include <cstdint>
#include <string>

// The calling thread's last error code, as the platform reports it (GetLastError on Windows; on
// Linux the code the last failing platform call stored with mwSetLastError).
std::uint32_t mwGetLastError();
void mwSetLastError(std::uint32_t code, std::string text);

// The system's message for the last error, a blank and the code in parentheses: "%s (%d)". The
// message part reads "(null)" when the system has none.
std::string GetLastErrorText();

// The system's text for an errno value, safe on any thread (unlike strerror, whose buffer is
// shared).
std::string mwErrnoText(int nErrno);
