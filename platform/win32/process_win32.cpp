// Starting a program of ours and knowing our own path; Windows backend of platform/process.h.
#include "platform/process.h"

#include <windows.h>

bool StartProgram(const std::string& strProgram, const std::vector<std::string>& arrArgs) {
    std::string cmd = "\"" + strProgram + "\"";
    for (const auto& a : arrArgs)
        cmd += " " + a;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(strProgram.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

std::string GetModulePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
