// Starting a program of ours and knowing our own path; POSIX backend of platform/process.h.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool StartProgram(const std::string& strProgram, const std::vector<std::string>& arrArgs) {
    // A grandchild, so that nobody has to wait for it: the child exits at once and is reaped here.
    std::vector<std::string> args{strProgram};
    args.insert(args.end(), arrArgs.begin(), arrArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        pid_t grandchild = 0;
        const int rc =
            ::posix_spawn(&grandchild, strProgram.c_str(), nullptr, nullptr, argv.data(), environ);
        ::_exit(rc == 0 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string GetModulePath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}
