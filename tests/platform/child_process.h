// Starting a helper program of the tests beside the test program and waiting for it; portable
// interface (child_process_posix.cpp, child_process_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace mwtest {

// The folder of the running test program.
std::string ExeDir();
// Runs the program with the arguments and waits at most nTimeoutMs; its exit code, or -1 when it
// could not start or did not end in time (it is then killed).
int RunChild(const std::string& strProgram, const std::vector<std::string>& arrArgs,
             int nTimeoutMs);

// Gives the test (and the children it starts) a runtime folder of its own for its life, so that
// names other processes see (sockets of windows) meet no other test and no running program.
// Nothing to do on Windows, where window names live in the session.
class CPrivateRuntimeDir {
public:
    CPrivateRuntimeDir();
    ~CPrivateRuntimeDir();
    CPrivateRuntimeDir(const CPrivateRuntimeDir&) = delete;
    CPrivateRuntimeDir& operator=(const CPrivateRuntimeDir&) = delete;
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
    std::string m_strPrevious;
    bool m_bHadPrevious = false;
};

} // namespace mwtest
