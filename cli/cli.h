// The command line front end's commands: search, check, send, set, status; portable.
#pragma once

#include "app/settings.h"
#include "app/job_services.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class CDeviceList;
class CRegistry;

constexpr int kCliExitOk = 0;
constexpr int kCliExitFailed = 1; // refused, not found, not sent, or nothing usable stored
constexpr int kCliExitUsage = 2;

// Everything a command works with; main fills it with the real ones, tests with their own.
struct CCliContext {
    std::shared_ptr<CJobServices> pServices;
    CRegistry* pRegistry = nullptr;
    std::string strSettingsKey = kSettingsKey;
    CDeviceList* pDeviceList = nullptr;
    std::istream* pIn = nullptr; // where --password-stdin reads
    std::ostream* pOut = nullptr;
    std::ostream* pErr = nullptr;
    // Set when an upload was still running at its deadline: its worker holds only what it
    // shares, but the process should end at once rather than tear down libraries under it.
    bool bWorkLeftRunning = false;
};

// Runs one command line (the program's name left out) and returns the exit code.
int fnRunCli(const std::vector<std::string>& arrArgs, CCliContext& ctx);
