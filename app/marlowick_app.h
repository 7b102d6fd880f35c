// The program's entry: the single-instance guard's verdict and the command line decide what the
// process does, inside modal dialogs only; portable.
#pragma once

#include "app/app_services.h"
#include "app/single_instance.h"

#include <string>

class CMarlowickApp {
public:
    // guard: the process's single-instance guard, made before start-up runs.
    CMarlowickApp(CAppServices services, const CLimitSingleInstance& guard);

    // Runs what the command line asks for (the main window in one of its layouts, or a send
    // without it) and returns false on every path: the process ends when it returns.
    bool InitInstance(const std::string& strCommandLine);

private:
    CAppServices m_services;
    const CLimitSingleInstance& m_guard;
};
