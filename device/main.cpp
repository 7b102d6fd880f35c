// marlowick-device: a storage device's discovery responder and download-job form on this machine;
// Linux platform code.
#include "device/config.h"
#include "device/discovery_responder.h"
#include "device/http_service.h"
#include "device/job_store.h"
#include "device/log.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

// Written "http=ADDR:PORT" / "udp=ADDR:PORT" under a temporary name and renamed, so a reader
// never sees half a file.
bool WritePortFile(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return false;
        }
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

} // namespace

// Under ThreadSanitizer: Debian's cpp-httplib is a shared library built without it, so the
// sanitizer cannot see that library's own synchronisation and reports the byte copies it makes
// between its threads. Interceptors called from such modules are left out; every access our own
// code makes stays checked.
extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}

int main(int argc, char** argv) {
    CDeviceConfig config;
    std::string strError;
    switch (ParseDeviceCommandLine(argc, argv, config, strError)) {
    case EParseResult::Help:
        std::fputs(DeviceUsage().c_str(), stdout);
        return 0;
    case EParseResult::Error:
        std::fprintf(stderr, "marlowick-device: %s\n(see marlowick-device --help)\n",
                     strError.c_str());
        return 2;
    case EParseResult::Ok:
        break;
    }

    // Signals are taken by the main thread alone, with sigwait; every other thread blocks them.
    std::signal(SIGPIPE, SIG_IGN);
    // A write past the file size limit then fails with EFBIG, like one on a full disk, instead
    // of ending the device.
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    int stopPipe[2];
    if (pipe2(stopPipe, O_CLOEXEC) != 0) {
        std::perror("marlowick-device: pipe");
        return 1;
    }

    CJobStore store;
    if (!store.Open(config.strStateDir, strError)) {
        DeviceLog("cannot start: " + strError);
        return 1;
    }
    store.ClearLeftovers(config.arrShares);
    store.SetKillFault(config.faults.eKillAt);
    CDiscoveryResponder responder(config);
    if (config.bUdp && !responder.Bind(strError)) {
        DeviceLog("cannot start: " + strError);
        return 1;
    }
    CHttpService http(config, store, stopPipe[0]);
    if (!http.Bind(strError)) {
        DeviceLog("cannot start: " + strError);
        return 1;
    }

    const std::string strHttp = config.strHttpHost + ":" + std::to_string(http.Port());
    const std::string strUdp =
        config.bUdp ? config.strUdpHost + ":" + std::to_string(responder.Port()) : "off";
    if (!config.strPortFile.empty() &&
        !WritePortFile(config.strPortFile, "http=" + strHttp + "\nudp=" + strUdp + "\n")) {
        DeviceLog("cannot start: cannot write " + config.strPortFile);
        return 1;
    }

    bool bHttpFailed = false;
    std::thread httpThread([&] {
        if (!http.Run()) {
            bHttpFailed = true;
            // Wake the main thread as a stop request would.
            kill(getpid(), SIGTERM);
        }
    });
    std::thread udpThread;
    if (config.bUdp) {
        udpThread = std::thread([&] { responder.Run(stopPipe[0]); });
    }

    DeviceLog("device " + config.strName + " (" + FormatMac(config.mac) + ") with " +
              std::to_string(store.Jobs().size()) + " recorded job(s)");
    std::printf("listening on http://%s/ udp %s\n", strHttp.c_str(), strUdp.c_str());
    std::fflush(stdout);

    int nSignal = 0;
    sigwait(&stopSignals, &nSignal);
    DeviceLog(std::string("stopping on ") + (nSignal == SIGINT ? "SIGINT" : "SIGTERM"));
    // Closing the write end makes the stop pipe readable for every waiter at once.
    close(stopPipe[1]);
    httpThread.join();
    if (udpThread.joinable()) {
        udpThread.join();
    }
    close(stopPipe[0]);
    DeviceLog(bHttpFailed ? "stopped: the web service failed" : "stopped");
    return bHttpFailed ? 1 : 0;
}
