// The reference device under hostile clients: requests per second to a well-behaved client while
// 200 slow connections are held, and the device's peak memory under 16 concurrent 31 MB bodies
// without valid credentials, each beside its reference; Linux benchmark program.
#include "tests/device/device_fixture.h"
#include "tests/device/device_http.h"
#include "tests/device/slow_clients.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace mwtest;

namespace {

using Clock = std::chrono::steady_clock;

// Status page requests, one connection each, one after another, for nMs.
double RequestsPerSecond(std::uint16_t nPort, int nMs) {
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(nMs);
    int nAnswered = 0;
    while (Clock::now() < end) {
        const auto answer = RawRequest(
            nPort, "GET /Down/download_ui.cgi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
            nMs);
        nAnswered += answer.nStatus == 200 ? 1 : 0;
    }
    return nAnswered / std::chrono::duration<double>(Clock::now() - start).count();
}

// The most memory the process has held so far, in MiB (VmHWM).
double PeakMiB(pid_t pid) {
    std::istringstream status(ReadFileText("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
        }
    }
    return -1;
}

// One upload of a form whose file part holds nBytes, with a wrong password, sent whole whatever the
// device answers, as long as the device takes it.
void UnauthenticatedBody(std::uint16_t nPort, std::size_t nBytes) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(nPort);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
        const std::string partHead =
            "--b\r\nContent-Disposition: form-data; name=\"upfilename\"; filename=\"x.torrent\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n";
        const std::string partTail = "\r\n--b--\r\n";
        std::string data = "POST /Down/download_job.cgi HTTP/1.1\r\nHost: x\r\n"
                           "Authorization: Basic YWRtaW46d3Jvbmc=\r\n"
                           "Content-Type: multipart/form-data; boundary=b\r\n"
                           "Content-Length: " +
                           std::to_string(partHead.size() + nBytes + partTail.size()) + "\r\n\r\n" +
                           partHead;
        bool bOk = send(fd, data.data(), data.size(), MSG_NOSIGNAL) > 0;
        const std::string chunk(64 * 1024, 'x');
        for (std::size_t nSent = 0; bOk && nSent < nBytes;) {
            const ssize_t n =
                send(fd, chunk.data(), std::min(chunk.size(), nBytes - nSent), MSG_NOSIGNAL);
            bOk = n > 0;
            nSent += bOk ? static_cast<std::size_t>(n) : 0;
        }
        if (bOk) {
            send(fd, partTail.data(), partTail.size(), MSG_NOSIGNAL);
            // The answer, once the device has taken (or turned down) everything.
            char buf[4096];
            recv(fd, buf, sizeof buf, 0);
        }
    }
    close(fd);
}

} // namespace

int main() {
    if (std::getenv("MW_BIN_DIR") == nullptr) {
        // The device is built beside this program.
        char self[PATH_MAX] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        const std::string dir = std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0);
        setenv("MW_BIN_DIR", dir.substr(0, dir.rfind('/')).c_str(), 1);
    }
    CDeviceProcess device;
    if (!device.Start()) {
        std::fprintf(stderr, "device_bench: %s\n", device.Error().c_str());
        return 1;
    }
    const std::uint16_t nPort = device.HttpPort();

    const double rpsAlone = RequestsPerSecond(nPort, 3000);
    double rpsCrowded = 0;
    std::size_t nHeld = 0;
    {
        CSlowClients slow(nPort, 200, 200);
        slow.Trickle(500);
        // The header deadline (10 s) lies beyond this measurement: all 200 stay held.
        std::thread trickle([&] { slow.Trickle(3500); });
        rpsCrowded = RequestsPerSecond(nPort, 3000);
        trickle.join();
        nHeld = slow.Opened() - slow.Closed();
    }
    std::printf("device slow clients: %.1f requests/s to a well-behaved client while %zu slow "
                "connections trickle their headers; %.1f requests/s with none (reference)\n",
                rpsCrowded, nHeld, rpsAlone);

    const double peakBefore = PeakMiB(device.Pid());
    const std::size_t kBody = 31u * 1000 * 1000;
    std::vector<std::thread> arrClients;
    const auto start = Clock::now();
    for (int i = 0; i < 16; ++i) {
        arrClients.emplace_back([&] { UnauthenticatedBody(nPort, kBody); });
    }
    for (auto& client : arrClients) {
        client.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("device memory: peak %.1f MiB after 16 concurrent 31 MB bodies with a wrong "
                "password (%.1f s); %.1f MiB before them (reference); the bodies held would be "
                "%.0f MiB\n",
                PeakMiB(device.Pid()), seconds, peakBefore, 16.0 * kBody / (1024 * 1024));
    return device.Stop() == 0 ? 0 : 1;
}
