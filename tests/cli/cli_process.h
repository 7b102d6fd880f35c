// Runs marlowick-cli as a child process with text on its standard input; Linux test support.
#pragma once

#include "tests/device/device_fixture.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace mwtest {

// The marlowick-cli binary beside the test programs.
inline std::string CliBinary() {
    const char* dir = std::getenv("MW_BIN_DIR");
    return std::string(dir ? dir : ".") + "/marlowick-cli";
}

struct CCliResult : CProgramResult {
    double dSeconds = 0;
};

// Runs marlowick-cli with arrArgs, strStdin on its standard input, and the test process's
// environment (so XDG_CONFIG_HOME and XDG_STATE_HOME as the test set them). arrLauncher, when
// given, is a program with its arguments that starts marlowick-cli (setpriv, prlimit, ...).
inline CCliResult RunCli(const std::vector<std::string>& arrArgs, const std::string& strStdin = "",
                         int nTimeoutMs = 60000, const std::vector<std::string>& arrLauncher = {}) {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "mw-cli-stdin-XXXXXX").string();
    const int fd = mkstemp(tmpl.data());
    if (fd >= 0) {
        if (!strStdin.empty() && write(fd, strStdin.data(), strStdin.size()) < 0)
            tmpl.clear();
        close(fd);
    }
    // The shell only puts the file on standard input and becomes the program.
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" <\"$0\"", tmpl};
    argv.insert(argv.end(), arrLauncher.begin(), arrLauncher.end());
    argv.push_back(CliBinary());
    argv.insert(argv.end(), arrArgs.begin(), arrArgs.end());
    const auto start = std::chrono::steady_clock::now();
    CCliResult result;
    static_cast<CProgramResult&>(result) = RunProgram(argv, nTimeoutMs);
    result.dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ec;
    fs::remove(tmpl, ec);
    return result;
}

} // namespace mwtest
