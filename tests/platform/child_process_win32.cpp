// Starting a helper program of the tests and waiting for it; Win32.
#include "child_process.h"

#include <windows.h>

namespace mwtest {

std::string ExeDir() {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/"));
}

int RunChild(const std::string& strProgram, const std::vector<std::string>& arrArgs,
             int nTimeoutMs) {
    std::string cmd = "\"" + strProgram + "\"";
    for (const auto& a : arrArgs)
        cmd += " \"" + a + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Under a loaded Wine a start now and then fails for a moment (the program file still held by
    // the process before): a few more tries before giving up.
    bool bStarted = false;
    for (int nTry = 0; nTry < 5 && !bStarted; ++nTry) {
        std::string cmdCopy = cmd;
        bStarted = CreateProcessA(nullptr, cmdCopy.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &pi) != FALSE;
        if (!bStarted)
            Sleep(200);
    }
    if (!bStarted)
        return -1;
    int nExit = -1;
    if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(nTimeoutMs)) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code))
            nExit = static_cast<int>(code);
    } else {
        TerminateProcess(pi.hProcess, 255);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return nExit;
}

CPrivateRuntimeDir::CPrivateRuntimeDir() = default;
CPrivateRuntimeDir::~CPrivateRuntimeDir() = default;

} // namespace mwtest
