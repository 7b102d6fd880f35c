// The logging library Dunmore: trace lines and error records appended to one per-user log file;
// portable, with the log file's place from dunmore_path_*.cpp.
#include "outside/dunmore/dunmore.h"
#include "outside/dunmore/dunmore_path.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace {

// Past this size the log moves aside to marlowick.log.1 (one generation kept).
constexpr std::uintmax_t kRotateBytes = 1024 * 1024;

std::atomic<int> g_nLevel{2};
// Held only for one formatted write, so no caller waits for long.
std::mutex g_mutex;

std::string Stamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    char out[48];
    std::snprintf(out, sizeof out, "%s.%03d", buf, static_cast<int>(ms));
    return out;
}

std::string ThreadTag() {
    std::ostringstream os;
    os << std::this_thread::get_id();
    return os.str();
}

// The open log file and how much it holds; opened on first use and kept, so that a trace line
// costs one write.
std::FILE* g_pFile = nullptr;
std::uintmax_t g_nSize = 0;
bool g_bUnavailable = false;

bool EnsureOpen() {
    if (g_pFile)
        return true;
    if (g_bUnavailable)
        return false;
    const std::filesystem::path path = DunmoreLogPath();
    std::error_code ec;
    if (!path.empty())
        std::filesystem::create_directories(path.parent_path(), ec);
    g_pFile = path.empty() ? nullptr : DunmoreOpenForAppend(path);
    if (!g_pFile) {
        g_bUnavailable = true; // no place to log: stay quiet rather than retry every line
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    g_nSize = ec ? 0 : size;
    return true;
}

// Moves a full log aside (one generation kept) and starts a new one.
void RotateIfFull() {
    if (g_nSize < kRotateBytes)
        return;
    std::fclose(g_pFile);
    g_pFile = nullptr;
    const std::filesystem::path path = DunmoreLogPath();
    auto old = path;
    old += ".1";
    std::error_code ec;
    std::filesystem::rename(path, old, ec);
    EnsureOpen();
}

// Appends one record; gives up quietly rather than fail the caller.
void Append(const std::string& kind, const std::string& text) {
    const std::string line = Stamp() + " [" + ThreadTag() + "] " + kind + " " + text + "\n";
    std::lock_guard lock(g_mutex);
    if (!EnsureOpen())
        return;
    std::fwrite(line.data(), 1, line.size(), g_pFile);
    std::fflush(g_pFile);
    g_nSize += line.size();
    RotateIfFull();
}

std::string Format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

} // namespace

extern "C" int MW_CDECL qvSetLogLevel(int level) {
    g_nLevel = level;
    return 0;
}

extern "C" int MW_CDECL qvLog(const char* format, ...) {
    if (g_nLevel < 2 || format == nullptr)
        return 0;
    va_list args;
    va_start(args, format);
    std::string text = Format(format, args);
    va_end(args);
    Append("TRACE", text);
    return 0;
}

extern "C" int MW_CDECL qvSetError(const char* text, int component, int severity, int detail,
                                   int extra) {
    if (g_nLevel < 1)
        return 0;
    char head[96];
    std::snprintf(head, sizeof head, "component=%d severity=%d detail=%d extra=%d", component,
                  severity, detail, extra);
    std::string record = head;
    if (text) {
        record += " text=";
        record += text;
    }
    Append("ERROR", record);
    return 0;
}
