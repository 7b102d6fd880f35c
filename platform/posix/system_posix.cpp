// Last-error record and debugger output; Linux backend of platform/system.h and debug_output.h.
#include "platform/debug_output.h"
#include "platform/system.h"

#include <cstdio>
#include <cstdlib>

namespace {
thread_local std::uint32_t t_nLastError = 0;
thread_local std::string t_strLastError;
} // namespace

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
