// Last-error record and debugger output; Windows backend of platform/system.h and debug_output.h.
#include "platform/debug_output.h"
#include "platform/system.h"

#include <windows.h>

#include <cstring>

std::uint32_t mwGetLastError() {
    return GetLastError();
}

void mwSetLastError(std::uint32_t code, std::string /*text*/) {
    SetLastError(code);
}

std::string GetLastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    // Network errors live in wininet.dll's message table, the rest in the system's.
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (n == 0) {
        HMODULE wininet = GetModuleHandleA("wininet.dll");
        if (wininet)
            n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               wininet, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    }
    std::string out = n && text ? std::string(text, n) : std::string("(null)");
    if (text)
        LocalFree(text);
    SetLastError(code);
    return out + " (" + std::to_string(static_cast<int>(code)) + ")";
}

void mwDebugOutput(std::string_view line) {
    std::string text(line);
    text += "\n";
    OutputDebugStringA(text.c_str());
}

std::string mwErrnoText(int nErrno) {
    char buffer[256] = {};
    if (strerror_s(buffer, sizeof buffer, nErrno) != 0 || buffer[0] == '\0')
        return "error " + std::to_string(nErrno);
    return buffer;
}
