// Upload speed and memory: Varnel against the curl command line tool, posting the same form to the
// same loopback server; Linux benchmark program.
#include "upload/varnel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kOkPage[] = "<HTML><HEAD><TITLE>Job</TITLE></HEAD><BODY><input type=\"hidden\" "
                           "name=\"message\" value=\"\"></BODY></HTML>";

// Takes each request whole (head, then Content-Length bytes) and answers with the accepting page;
// the same work for both clients.
class CSinkServer {
public:
    CSinkServer() {
        m_nListen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_nListen, 16);
        socklen_t len = sizeof addr;
        ::getsockname(m_nListen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_nPort = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CSinkServer() {
        ::shutdown(m_nListen, SHUT_RDWR);
        ::close(m_nListen);
        m_thread.join();
    }
    int Port() const { return m_nPort; }

private:
    void Serve() {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const int fd = ::accept(m_nListen, nullptr, nullptr);
            if (fd < 0)
                return;
            std::string head;
            std::size_t bodyLeft = 0;
            bool inBody = false;
            for (;;) {
                const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
                if (n <= 0)
                    break;
                if (!inBody) {
                    head.append(buffer.data(), static_cast<std::size_t>(n));
                    const auto end = head.find("\r\n\r\n");
                    if (end == std::string::npos)
                        continue;
                    const auto cl = head.find("Content-Length: ");
                    bodyLeft = cl == std::string::npos || cl > end
                                   ? 0
                                   : std::strtoull(head.c_str() + cl + 16, nullptr, 10);
                    const std::size_t got = head.size() - end - 4;
                    bodyLeft -= std::min(bodyLeft, got);
                    inBody = true;
                } else {
                    bodyLeft -= std::min(bodyLeft, static_cast<std::size_t>(n));
                }
                if (inBody && bodyLeft == 0) {
                    const std::string page = kOkPage;
                    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                                               "Connection: close\r\nContent-Length: " +
                                               std::to_string(page.size()) + "\r\n\r\n" + page;
                    ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
                    break;
                }
            }
            ::close(fd);
        }
    }

    int m_nListen = -1;
    int m_nPort = 0;
    std::thread m_thread;
};

long PeakRssKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

NAS_BTDOWNLOAD_PARAM Param(const std::string& url, const std::string& file) {
    static std::string u, f;
    u = url;
    f = file;
    return {u.c_str(),      f.c_str(), "admin",  "secret", "Public", "/Public",
            "down_job.htm", "save",    "Public", "1",      "local"};
}

// One upload in this process, reporting the peak memory it added: "<ok> <added KiB>".
int VarnelOnce(const std::string& url, const std::string& file, const std::string& warmup) {
    // A first small upload loads and initialises everything the client needs once.
    NAS_BTDOWNLOAD_PARAM w = Param(url, warmup);
    varnel_NAS_BTDownloadForLocalFile(&w, nullptr);
    const long before = PeakRssKiB();
    NAS_BTDOWNLOAD_PARAM p = Param(url, file);
    VARNEL_DWORD code = 0;
    const int ok = varnel_NAS_BTDownloadForLocalFile(&p, &code);
    std::printf("%d %ld\n", ok, PeakRssKiB() - before);
    return ok ? 0 : 1;
}

struct CRun {
    double wall = 0;
    double cpu = 0; // user + system time of the child
};

CRun RunSeconds(const std::vector<std::string>& argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "command failed: %s\n", argv[0].c_str());
        std::exit(1);
    }
    const auto tv = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            tv(usage.ru_utime) + tv(usage.ru_stime)};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--varnel-once")
        return VarnelOnce(argv[2], argv[3], argv[4]);
    if (argc == 4 && std::string(argv[1]) == "--varnel-send") {
        NAS_BTDOWNLOAD_PARAM p = Param(argv[2], argv[3]);
        return varnel_NAS_BTDownloadForLocalFile(&p, nullptr) ? 0 : 1;
    }
    if (argc == 2 && std::string(argv[1]) == "--serve") {
        // A sink for measuring one client by hand: prints its port, serves until killed.
        CSinkServer server;
        std::printf("%d\n", server.Port());
        std::fflush(stdout);
        pause();
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    CSinkServer server;
    const int port = server.Port();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/Down/download_job.cgi";

    const auto dir =
        std::filesystem::temp_directory_path() / ("mw-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string warmup = (dir / "warmup.torrent").string();
    std::ofstream(warmup) << "d4:infod4:name1:aee";
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    std::printf("%-8s | %-27s | %-27s | %10s | %13s\n", "", "wall time [ms]",
                "CPU time (user+sys) [ms]", "varnel", "peak memory");
    std::printf("%-8s | %8s %8s %9s | %8s %8s %9s | %10s | %13s\n", "size", "varnel", "curl",
                "ratio", "varnel", "curl", "ratio", "in-process", "added / size");
    for (const std::size_t mib : {1u, 16u}) {
        const std::size_t size = mib << 20;
        const std::string file = (dir / ("payload-" + std::to_string(mib) + ".torrent")).string();
        {
            std::string data(size, '\0');
            for (std::size_t i = 0; i < size; ++i)
                data[i] = static_cast<char>((i * 2654435761u) >> 13);
            std::ofstream(file, std::ios::binary) << data;
        }
        std::vector<CRun> varnel, curl;
        std::vector<double> inproc;
        for (int r = 0; r < rounds; ++r) {
            varnel.push_back(RunSeconds({self, "--varnel-send", url, file}));
            curl.push_back(RunSeconds({"curl",
                                       "-sS",
                                       "-f",
                                       "-o",
                                       "/dev/null",
                                       "--noproxy",
                                       "*",
                                       "-H",
                                       "Expect:",
                                       "-u",
                                       "admin:secret",
                                       "-F",
                                       "proto=bt",
                                       "-F",
                                       "torrent=on",
                                       "-F",
                                       "upfilename=@" + file,
                                       "-F",
                                       "share_list=Public",
                                       "-F",
                                       "subdir=/Public",
                                       "-F",
                                       "this_file=down_job.htm",
                                       "-F",
                                       "todo=save",
                                       "-F",
                                       "h_share_list=Public",
                                       "-F",
                                       "h_proto=1",
                                       "-F",
                                       "h_torrent=local",
                                       "-F",
                                       "finish=",
                                       url}));
            NAS_BTDOWNLOAD_PARAM p = Param(url, file);
            const auto start = std::chrono::steady_clock::now();
            if (!varnel_NAS_BTDownloadForLocalFile(&p, nullptr))
                return 1;
            inproc.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        // Peak memory in a fresh process, so that earlier uploads do not hide it.
        const std::string cmd =
            "'" + self + "' --varnel-once '" + url + "' '" + file + "' '" + warmup + "'";
        long addedKiB = -1;
        if (FILE* pipe = popen(cmd.c_str(), "r")) {
            int ok = 0;
            if (std::fscanf(pipe, "%d %ld", &ok, &addedKiB) != 2)
                addedKiB = -1;
            pclose(pipe);
        }
        const auto median = [](const std::vector<CRun>& runs, double CRun::*field) {
            std::vector<double> v;
            for (const auto& r : runs)
                v.push_back(r.*field * 1000);
            return Median(v);
        };
        const double vw = median(varnel, &CRun::wall), cw = median(curl, &CRun::wall);
        const double vc = median(varnel, &CRun::cpu), cc = median(curl, &CRun::cpu);
        std::printf("%3zu MiB  | %8.1f %8.1f %9.2f | %8.1f %8.1f %9.2f | %7.1f ms | %13.2f\n", mib,
                    vw, cw, vw / cw, vc, cc, vc / cc, Median(inproc) * 1000,
                    static_cast<double>(addedKiB) * 1024.0 / static_cast<double>(size));
    }
    std::printf(
        "(medians of %d rounds; varnel and curl each run as a whole process posting the same "
        "form to the same server; ratio = varnel / curl; peak memory = resident memory the "
        "upload added, over the file size)\n",
        rounds);
    std::filesystem::remove_all(dir);
    return 0;
}
