// Recording build of Dunmore: keeps every call in memory for tests; portable.
#include "outside/dunmore/dunmore.h"
#include "outside/dunmore/dunmore_recording.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
std::mutex g_mutex;
CDunmoreRecord g_record;
} // namespace

CDunmoreRecord DunmoreRecorded() {
    std::lock_guard lock(g_mutex);
    return g_record;
}

void DunmoreClear() {
    std::lock_guard lock(g_mutex);
    g_record = {};
}

extern "C" int MW_CDECL qvSetLogLevel(int level) {
    std::lock_guard lock(g_mutex);
    g_record.levels.push_back(level);
    return 0;
}

extern "C" int MW_CDECL qvLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(line.data(), line.size() + 1, format, args);
    va_end(args);
    std::lock_guard lock(g_mutex);
    g_record.lines.push_back(std::move(line));
    return 0;
}

extern "C" int MW_CDECL qvSetError(const char* text, int component, int severity, int detail,
                                   int extra) {
    std::lock_guard lock(g_mutex);
    g_record.errors.push_back(
        {text != nullptr, text ? text : "", component, severity, detail, extra});
    return 0;
}
