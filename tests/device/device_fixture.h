// Runs the reference device (and other programs) as child processes for tests; Linux test support.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace mwtest {

// The system's text for an error number, safe from any thread.
inline std::string ErrorText(int nError) {
    char buf[256] = {};
    return strerror_r(nError, buf, sizeof buf);
}

// Output and exit status of a finished program; nExit is -1 when it did not end normally.
struct CProgramResult {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// Runs a program (searched in PATH) to its end, with its output captured, and kills it after
// nTimeoutMs so that no test hangs.
inline CProgramResult RunProgram(const std::vector<std::string>& arrArgs, int nTimeoutMs = 30000) {
    CProgramResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        result.strErr = "pipe failed";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& arg : arrArgs) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        result.strErr = std::string("cannot start ") + arrArgs[0] + ": " + ErrorText(rc);
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int nOpen = 2;
    bool bKilled = false;
    while (nOpen > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            bKilled = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char buf[65536];
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    (i == 0 ? result.strOut : result.strErr).append(buf, static_cast<size_t>(n));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --nOpen;
                }
            }
        }
    }
    for (auto& fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.nExit = !bKilled && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The marlowick-device binary beside the test programs.
inline std::string DeviceBinary() {
    const char* dir = std::getenv("MW_BIN_DIR");
    return std::string(dir ? dir : ".") + "/marlowick-device";
}

// The reference device, running in a temporary folder of its own with HTTP and discovery on
// loopback ports that the system picks (--udp off or another --http in the extra arguments
// override that). Defaults: name "mw-test", MAC 02:00:00:00:00:01, the
// account admin:secret and the share "public"; extra arguments add to these (more accounts and
// shares, faults, --advertise). Stopped and its folder removed when the object goes.
class CDeviceProcess {
public:
    static constexpr const char* kUser = "admin";
    static constexpr const char* kPassword = "secret";
    static constexpr const char* kShare = "public";

    explicit CDeviceProcess(std::vector<std::string> arrExtraArgs = {})
        : m_arrExtraArgs(std::move(arrExtraArgs)) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "mw-device-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr) {
            m_strRoot = tmpl;
            std::filesystem::create_directories(ShareDir());
        }
    }

    ~CDeviceProcess() {
        Stop();
        // The sanitizer builds of the device report into its log rather than to the test.
        const std::string log = Log();
        for (const char* report : {"ERROR: AddressSanitizer", "WARNING: ThreadSanitizer",
                                   "ERROR: LeakSanitizer", "runtime error:"}) {
            if (log.find(report) != std::string::npos) {
                ADD_FAILURE() << "the device reported a fault:\n" << log;
                break;
            }
        }
        if (!m_strRoot.empty() && std::getenv("MW_KEEP_TMP") == nullptr) {
            std::error_code ec;
            std::filesystem::remove_all(m_strRoot, ec);
        }
    }

    CDeviceProcess(const CDeviceProcess&) = delete;
    CDeviceProcess& operator=(const CDeviceProcess&) = delete;

    // Starts the device and waits until it listens; false with Error() set otherwise. May be
    // called again after Stop(): the folder, shares and recorded jobs stay.
    bool Start() {
        m_nExit = -1;
        if (m_strRoot.empty()) {
            m_strError = "no temporary folder";
            return false;
        }
        std::vector<std::string> args = {DeviceBinary(),
                                         "--name",
                                         "mw-test",
                                         "--mac",
                                         "02:00:00:00:00:01",
                                         "--account",
                                         std::string(kUser) + ":" + kPassword,
                                         "--share",
                                         std::string(kShare) + "=" + ShareDir(),
                                         "--state",
                                         StateDir(),
                                         "--http",
                                         "127.0.0.1:0",
                                         "--udp",
                                         "127.0.0.1:0"};
        args.insert(args.end(), m_arrExtraArgs.begin(), m_arrExtraArgs.end());

        int outPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0) {
            m_strError = "pipe failed";
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, LogPath().c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        std::vector<char*> argv;
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        if (rc != 0) {
            close(outPipe[0]);
            m_pid = -1;
            m_strError = "cannot start " + args[0] + ": " + ErrorText(rc);
            return false;
        }

        // The device prints one line once both services listen.
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (line.find('\n') == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{outPipe[0], POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buf[256];
            ssize_t n = read(outPipe[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            line.append(buf, static_cast<size_t>(n));
        }
        close(outPipe[0]);
        unsigned http = 0;
        unsigned udp = 0;
        char httpHost[64] = {};
        char udpHost[64] = {};
        if (std::sscanf(line.c_str(), "listening on http://%63[^:]:%u/ udp %63[^:]:%u", httpHost,
                        &http, udpHost, &udp) < 3) {
            m_strError = "the device did not start; its log:\n" + Log();
            Stop();
            return false;
        }
        // A device listening on every address is reached on loopback.
        m_strHttpHost = std::string(httpHost) == "0.0.0.0" ? "127.0.0.1" : httpHost;
        m_nHttpPort = static_cast<std::uint16_t>(http);
        m_nUdpPort = static_cast<std::uint16_t>(udp);
        return true;
    }

    // Sends the signal and waits for the end; the exit status, or -1 (killed after 10 s, or not
    // running).
    int Stop(int nSignal = SIGTERM) {
        if (m_pid <= 0) {
            return m_nExit;
        }
        kill(m_pid, nSignal);
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        pid_t done = 0;
        while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (done == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            status = -1;
        }
        m_pid = -1;
        m_nExit = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_nExit;
    }

    // Whether the device still runs; once it has ended, Stop() gives its exit status.
    bool Running() {
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return m_pid > 0;
    }
    // The running device's process id, or -1.
    pid_t Pid() const { return m_pid; }
    // The extra arguments of the next Start().
    void SetExtraArgs(std::vector<std::string> arrExtraArgs) {
        m_arrExtraArgs = std::move(arrExtraArgs);
    }
    std::uint16_t HttpPort() const { return m_nHttpPort; }
    std::uint16_t UdpPort() const { return m_nUdpPort; }
    std::string BaseUrl() const {
        return "http://" + m_strHttpHost + ":" + std::to_string(m_nHttpPort);
    }
    std::string JobUrl() const { return BaseUrl() + "/Down/download_job.cgi"; }
    std::string StatusUrl() const { return BaseUrl() + "/Down/download_ui.cgi"; }
    const std::string& Root() const { return m_strRoot; }
    std::string ShareDir() const { return m_strRoot + "/" + kShare; }
    std::string StateDir() const { return m_strRoot + "/state"; }
    std::string LogPath() const { return m_strRoot + "/device.log"; }
    // Everything the device wrote to standard error so far.
    std::string Log() const { return ReadFileText(LogPath()); }
    const std::string& Error() const { return m_strError; }

    // Waits up to nTimeoutMs for text to appear in the log: the device writes a request's line
    // just after its answer, so a client may see the answer first.
    bool WaitForLog(const std::string& text, int nTimeoutMs = 5000) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        while (Log().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    std::vector<std::string> m_arrExtraArgs;
    std::string m_strRoot;
    std::string m_strError;
    pid_t m_pid = -1;
    int m_nExit = -1;
    std::string m_strHttpHost = "127.0.0.1";
    std::uint16_t m_nHttpPort = 0;
    std::uint16_t m_nUdpPort = 0;
};

} // namespace mwtest
