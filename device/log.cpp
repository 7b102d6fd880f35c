// One-line log records of the reference device on standard error; Linux platform code.
#include "device/log.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {
std::mutex g_logMutex;

// The length of the valid UTF-8 sequence at the start of text, or 0 when it does not start with
// one (an overlong form, a surrogate, a value past U+10FFFF, or a cut sequence).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(0);
    std::size_t n = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < n || byte(1) < lo || byte(1) > hi) {
        return 0;
    }
    for (std::size_t i = 2; i < n; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return n;
}

} // namespace

std::string LogSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = Utf8Length(text);
        const auto c = static_cast<unsigned char>(text[0]);
        if (n == 0) {
            out += '?';
            text.remove_prefix(1);
            continue;
        }
        // U+0080 to U+009F, encoded C2 80 to C2 9F, are the C1 controls (CSI among them).
        const bool bControl = c < 0x20 || c == 0x7f ||
                              (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0);
        if (bControl) {
            out += ' ';
        } else {
            out.append(text.substr(0, n));
        }
        text.remove_prefix(n);
    }
    return out;
}

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm tmUtc{};
    gmtime_r(&now, &tmUtc);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tmUtc);
    return buf;
}

std::string ErrnoText(int nError) {
    char buf[256] = {};
    // The GNU form returns the text, which may or may not be in buf.
    return strerror_r(nError, buf, sizeof buf);
}

void DeviceLog(const std::string& text) {
    std::string line = "marlowick-device: " + UtcNow() + " " + LogSafe(text) + "\n";
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
