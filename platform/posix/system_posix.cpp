// Last-error record and debugger output; Linux backend of platform/system.h and debug_output.h.
#include "platform/debug_output.h"
#include "platform/system.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>

namespace {
thread_local std::uint32_t t_nLastError = 0;
thread_local std::string t_strLastError;

// strerror_r comes in two shapes: the GNU one returns the text, the POSIX one fills the buffer.
[[maybe_unused]] const char* ErrnoTextOf(const char* pResult, const char* /*buffer*/) {
    return pResult;
}
[[maybe_unused]] const char* ErrnoTextOf(int nResult, const char* buffer) {
    return nResult == 0 ? buffer : nullptr;
}
} // namespace

std::string mwErrnoText(int nErrno) {
    char buffer[256] = {};
    const char* text = ErrnoTextOf(strerror_r(nErrno, buffer, sizeof buffer), buffer);
    return text && *text ? std::string(text) : "error " + std::to_string(nErrno);
}

std::uint32_t mwGetLastError() {
    return t_nLastError;
}

void mwSetLastError(std::uint32_t code, std::string text) {
    t_nLastError = code;
    t_strLastError = std::move(text);
}

std::string GetLastErrorText() {
    const std::string text = t_strLastError.empty() ? "(null)" : t_strLastError + "\n";
    return text + " (" + std::to_string(static_cast<int>(t_nLastError)) + ")";
}

void mwDebugOutput(std::string_view line) {
    static const bool enabled = std::getenv("MARLOWICK_DEBUG") != nullptr;
    if (enabled)
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}
