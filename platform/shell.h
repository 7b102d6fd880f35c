// The desktop shell as the program uses it: starting a helper program hidden, opening a device's
// network path in the background, the program's own path; portable interface (backends: Win32
// ShellExecute; on Linux, the desktop's GIO).
#pragma once

#include "platform/ui/ui_types.h"

#include <memory>
#include <string>

class CShell {
public:
    virtual ~CShell() = default;
    // Starts the program with one argument, without a window and without waiting for it; true
    // when it started (callers may ignore the answer).
    virtual bool StartHidden(const std::string& strProgram, const std::string& strArgument) = 0;
    // Asks the system to open a network path (two backslashes and a device name) in the
    // background, signing in with the account where the system asks; nothing is shown and the
    // outcome is ignored. Never blocks the caller for long.
    virtual void OpenInBackground(const std::string& strPath, const CNetworkAccount& account) = 0;
    // The full path of the running program's executable file.
    virtual std::string GetModulePath() = 0;
};

// The platform's shell; built by the program's backend (platform/win32, platform/gtk).
std::unique_ptr<CShell> CreateSystemShell();
