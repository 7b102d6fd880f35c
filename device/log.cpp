// One-line log records of the reference device on standard error; portable.
#include "device/log.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace {
std::mutex g_logMutex;
}

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm tmUtc{};
    gmtime_r(&now, &tmUtc);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tmUtc);
    return buf;
}

void DeviceLog(const std::string& text) {
    std::string line = "marlowick-device: " + UtcNow() + " " + text + "\n";
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
