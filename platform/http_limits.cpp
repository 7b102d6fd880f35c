// Time limits of the HTTP exchange, shared by every backend; portable.
#include "platform/http.h"

#include <atomic>

namespace {
std::atomic<std::uint32_t> g_nConnectMs{0};
std::atomic<std::uint32_t> g_nIdleMs{0};
std::atomic<std::uint32_t> g_nAnswerMs{0};
} // namespace

void SetHttpLimits(const CHttpLimits& limits) {
    g_nConnectMs = limits.nConnectMs;
    g_nIdleMs = limits.nIdleMs;
    g_nAnswerMs = limits.nAnswerMs;
}

CHttpLimits GetHttpLimits() {
    return CHttpLimits{g_nConnectMs.load(), g_nIdleMs.load(), g_nAnswerMs.load()};
}
