// Starting a helper program of the tests and waiting for it; POSIX.
#include "child_process.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace mwtest {

std::string ExeDir() {
    char buffer[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

int RunChild(const std::string& strProgram, const std::vector<std::string>& arrArgs,
             int nTimeoutMs) {
    std::vector<std::string> args{strProgram};
    args.insert(args.end(), arrArgs.begin(), arrArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::execv(strProgram.c_str(), argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

CPrivateRuntimeDir::CPrivateRuntimeDir() {
    std::string strTemplate =
        (std::filesystem::temp_directory_path() / "mw-runtime-XXXXXX").string();
    if (::mkdtemp(strTemplate.data()))
        m_strPath = strTemplate;
    if (const char* previous = std::getenv("XDG_RUNTIME_DIR")) {
        m_bHadPrevious = true;
        m_strPrevious = previous;
    }
    ::setenv("XDG_RUNTIME_DIR", m_strPath.c_str(), 1);
}

CPrivateRuntimeDir::~CPrivateRuntimeDir() {
    if (m_bHadPrevious)
        ::setenv("XDG_RUNTIME_DIR", m_strPrevious.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (!m_strPath.empty())
        std::filesystem::remove_all(m_strPath, ec);
}

} // namespace mwtest
