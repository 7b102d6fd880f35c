// The program's entry: the single-instance guard's verdict and the command line decide what the
// process does, inside modal dialogs only; portable.
#pragma once

#include "app/app_services.h"
#include "app/single_instance.h"

#include <string>

class CMarlowickApp {
public:
    // guard: the process's single-instance guard, made before start-up runs.
    CMarlowickApp(CAppServices services, CLimitSingleInstance& guard);

    // Runs what the command line asks for (the main window in one of its layouts, a send without
    // it, or the transfer queue) and returns false on every path: the process ends when it
    // returns, after the last upload of the queue has ended. A second process hands a path it
    // was given to the first one's queue, as Arbolet does, and ends.
    bool InitInstance(const std::string& strCommandLine);

private:
    CAppServices m_services;
    CLimitSingleInstance& m_guard;
};
