// Start-up of the Linux program beside two programs users of this field pick (transgui and
// transmission-remote-gtk): the time from exec to the first top-level window mapped, and the memory
// of the whole process tree (the sum of PSS) 3 s later; each run with a fresh private home. Runs
// inside the private X server and network namespace that bench/gui_start/run-gui-start makes.
// Linux benchmark. Usage: gui_start_bench [ROUNDS] (default 5)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using CClock = std::chrono::steady_clock;

struct CProgram {
    std::string strName;
    std::vector<std::string> arrArgs;
};

struct CRun {
    double msToWindow = -1;
    double mbPss = -1;
    int nProcesses = 0;
    std::string strTitle;
};

std::string Title(Display* pDisplay, Window window) {
    char* pName = nullptr;
    std::string str;
    if (XFetchName(pDisplay, window, &pName) && pName)
        str = pName;
    if (pName)
        XFree(pName);
    return str;
}

// The process and every descendant of it, from /proc.
std::vector<pid_t> ProcessTree(pid_t root) {
    std::map<pid_t, std::vector<pid_t>> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string strName = entry.path().filename().string();
        if (strName.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string strLine;
        if (!std::getline(stat, strLine))
            continue;
        const auto nClose = strLine.rfind(')');
        if (nClose == std::string::npos)
            continue;
        std::istringstream rest(strLine.substr(nClose + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        children[parent].push_back(static_cast<pid_t>(std::stol(strName)));
    }
    std::vector<pid_t> tree = {root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (pid_t child : children[tree[i]])
            tree.push_back(child);
    return tree;
}

// The proportional set size of a process in kB (0 when it has gone).
long PssKb(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string strLine; std::getline(rollup, strLine);)
        if (strLine.rfind("Pss:", 0) == 0)
            return std::stol(strLine.substr(4));
    return 0;
}

void KillTree(pid_t root) {
    for (int nSignal : {SIGTERM, SIGKILL}) {
        for (pid_t pid : ProcessTree(root))
            ::kill(pid, nSignal);
        for (int i = 0; i < 40; ++i) {
            if (::waitpid(root, nullptr, WNOHANG) == root)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ::waitpid(root, nullptr, 0);
}

CRun RunOnce(Display* pDisplay, const CProgram& program) {
    CRun run;
    char szHome[] = "/tmp/mw-gui-start.XXXXXX";
    if (!::mkdtemp(szHome))
        return run;
    const std::string strHome = szHome;
    for (const char* pszSub : {"config", "data", "cache", "state", "runtime"})
        fs::create_directories(strHome + "/" + pszSub);
    fs::permissions(strHome + "/runtime", fs::perms::owner_all);

    XSelectInput(pDisplay, DefaultRootWindow(pDisplay), SubstructureNotifyMask);
    XSync(pDisplay, True); // nothing from an earlier run counts
    const auto start = CClock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", strHome.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (strHome + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (strHome + "/data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (strHome + "/cache").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (strHome + "/state").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (strHome + "/runtime").c_str(), 1);
        std::vector<char*> argv;
        for (const auto& strArg : program.arrArgs)
            argv.push_back(const_cast<char*>(strArg.c_str()));
        argv.push_back(nullptr);
        const int nNull = ::open("/dev/null", O_WRONLY);
        ::dup2(nNull, 1);
        ::dup2(nNull, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    // The first top-level window mapped (not a popup placing itself), 30 s at most.
    const auto deadline = start + std::chrono::seconds(30);
    while (run.msToWindow < 0 && CClock::now() < deadline) {
        if (XPending(pDisplay) == 0) {
            pollfd pfd{ConnectionNumber(pDisplay), POLLIN, 0};
            ::poll(&pfd, 1, 10);
            continue;
        }
        XEvent event;
        XNextEvent(pDisplay, &event);
        if (event.type == MapNotify && !event.xmap.override_redirect) {
            run.msToWindow =
                std::chrono::duration<double, std::milli>(CClock::now() - start).count();
            run.strTitle = Title(pDisplay, event.xmap.window);
        }
    }
    XSelectInput(pDisplay, DefaultRootWindow(pDisplay), NoEventMask);
    if (run.msToWindow >= 0) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        long nKb = 0;
        const std::vector<pid_t> tree = ProcessTree(pid);
        for (pid_t p : tree)
            nKb += PssKb(p);
        run.mbPss = static_cast<double>(nKb) / 1024.0;
        run.nProcesses = static_cast<int>(tree.size());
    }
    KillTree(pid);
    std::error_code ec;
    fs::remove_all(strHome, ec);
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool OnPath(const std::string& strProgram) {
    if (strProgram.find('/') != std::string::npos)
        return ::access(strProgram.c_str(), X_OK) == 0;
    const char* pPath = std::getenv("PATH");
    std::istringstream dirs(pPath ? pPath : "");
    for (std::string strDir; std::getline(dirs, strDir, ':');)
        if (::access((strDir + "/" + strProgram).c_str(), X_OK) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const int nRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        std::fprintf(stderr, "gui_start_bench: no display (run bench/gui_start/run-gui-start)\n");
        return 1;
    }
    const std::string strOurs = MW_MARLOWICK;
    std::vector<CProgram> programs = {
        {"marlowick (normal layout)", {strOurs}},
        {"transgui", {"transgui"}},
        {"transmission-remote-gtk", {"transmission-remote-gtk"}},
        {"marlowick /M (page shown)", {strOurs, "/M"}},
    };
    std::erase_if(programs, [](const CProgram& p) {
        if (OnPath(p.arrArgs[0]))
            return false;
        std::printf("%s: not installed (scripts/bootstrap installs it), left out\n",
                    p.strName.c_str());
        return true;
    });
    std::map<std::string, std::vector<CRun>> runs;
    // Round by round, so that every program meets the same state of the machine.
    for (int r = 0; r < nRounds; ++r)
        for (const auto& program : programs)
            runs[program.strName].push_back(RunOnce(pDisplay, program));

    std::printf("\nStart-up to the first window mapped, and the PSS of the process tree 3 s later\n"
                "(%d rounds, private home, private network namespace, Xvfb):\n\n",
                nRounds);
    std::printf("%-28s %12s %12s %14s %10s  %s\n", "program", "median ms", "min ms",
                "median PSS MB", "processes", "first window");
    for (const auto& program : programs) {
        std::vector<double> ms;
        std::vector<double> mb;
        int nProcesses = 0;
        std::string strTitle;
        for (const CRun& run : runs[program.strName]) {
            if (run.msToWindow < 0)
                continue;
            ms.push_back(run.msToWindow);
            mb.push_back(run.mbPss);
            nProcesses = std::max(nProcesses, run.nProcesses);
            strTitle = run.strTitle;
        }
        if (ms.empty()) {
            std::printf("%-28s showed no window within 30 s\n", program.strName.c_str());
            continue;
        }
        std::printf("%-28s %12.0f %12.0f %14.1f %10d  \"%s\"\n", program.strName.c_str(),
                    Median(ms), *std::min_element(ms.begin(), ms.end()), Median(mb), nProcesses,
                    strTitle.c_str());
    }
    XCloseDisplay(pDisplay);
    return 0;
}
