// The transfer queue's speed: a queue of 100 files to the reference device on loopback against
// the same 100 uploads one after another, in one run; and the time from a hand-off to an idle
// queue until its upload starts; Linux benchmark program.
#include "app/job_services.h"
#include "app/settings.h"
#include "platform/headless/headless_driver.h"
#include "platform/registry.h"
#include "resources/resources.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"
#include "transfer_queue/transfer_dlg.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <cstdio>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFiles = 100;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The real services, noting when each upload begins.
class CTimedJobs final : public CJobServices {
public:
    explicit CTimedJobs(std::shared_ptr<CJobServices> pReal) : m_pReal(std::move(pReal)) {}
    bool StartSockets() override { return m_pReal->StartSockets(); }
    void StopSockets() override { m_pReal->StopSockets(); }
    bool Search(CDeviceList& list) override { return m_pReal->Search(list); }
    bool CheckAccount(CDeviceList& list, int n, const std::string& u,
                      const std::string& p) override {
        return m_pReal->CheckAccount(list, n, u, p);
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& p, std::string& m, VARNEL_DWORD& c) override {
        return m_pReal->Upload(p, m, c);
    }
    int UploadFile(const NAS_BTDOWNLOAD_PARAM& p, VARNEL_DWORD& c) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lastStart = Clock::now();
        }
        return m_pReal->UploadFile(p, c);
    }
    void SetLogLevel(int n) override { m_pReal->SetLogLevel(n); }
    void Sleep(unsigned n) override { m_pReal->Sleep(n); }
    void DebugOutput(const std::string&) override {}
    bool FetchPage(const std::string& u, unsigned t, std::string& b, std::string& e) override {
        return m_pReal->FetchPage(u, t, b, e);
    }
    Clock::time_point LastStart() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastStart;
    }

private:
    std::shared_ptr<CJobServices> m_pReal;
    std::mutex m_mutex;
    Clock::time_point m_lastStart;
};

bool AllFinal(const CTransferDlg& dlg) {
    for (int i = 0; i < dlg.LvGetItemCount(IDC_TRANSFER_LIST); ++i) {
        const std::string s = dlg.LvGetItemText(IDC_TRANSFER_LIST, i, 1);
        if (s != "Done" && s != "Fail")
            return false;
    }
    return !dlg.m_bTransferring;
}

} // namespace

namespace {

struct CRound {
    double msSingle = 0;
    double msQueue = 0;
    int nSingleOk = 0;
    int nQueueOk = 0;
};

// One round: kFiles uploads one after another, then kFiles through a queue window, each with
// files of its own (the device takes a file once).
CRound RunRound(const std::string& strAddress, const std::vector<std::string>& arrFiles,
                std::size_t nFirst, const std::shared_ptr<CJobServices>& pReal,
                const std::shared_ptr<CRegistry>& pRegistry) {
    CRound round;
    const std::string strUrl = "http://" + strAddress + "/Down/download_job.cgi";
    const auto single0 = Clock::now();
    for (int i = 0; i < kFiles; ++i) {
        const NAS_BTDOWNLOAD_PARAM p{strUrl.c_str(),
                                     arrFiles[nFirst + static_cast<std::size_t>(i)].c_str(),
                                     mwtest::CDeviceProcess::kUser,
                                     mwtest::CDeviceProcess::kPassword,
                                     "public",
                                     "",
                                     "down_job.htm",
                                     "save",
                                     "public",
                                     "1",
                                     "local"};
        VARNEL_DWORD nCode = 0;
        // As the program's single send does it: the logging level, then the upload.
        pReal->SetLogLevel(2);
        round.nSingleOk += pReal->UploadFile(p, nCode);
    }
    round.msSingle = Ms(Clock::now() - single0);

    CHeadlessDriver ui;
    ui.Ui().SetRealTime(true);
    CTransferDlg queue(pReal, pRegistry, kSettingsKey);
    queue.m_strDeviceIP = strAddress;
    queue.m_strUser = mwtest::CDeviceProcess::kUser;
    queue.m_strPassword = mwtest::CDeviceProcess::kPassword;
    queue.m_strShareList = "public";
    for (int i = 0; i < kFiles; ++i)
        queue.AddTransferFile(arrFiles[nFirst + kFiles + static_cast<std::size_t>(i)]);
    const auto queue0 = Clock::now();
    ui.ThenWhen([&] { return AllFinal(queue); },
                [&] {
                    round.msQueue = Ms(Clock::now() - queue0);
                    for (int i = 0; i < queue.LvGetItemCount(IDC_TRANSFER_LIST); ++i)
                        round.nQueueOk += queue.LvGetItemText(IDC_TRANSFER_LIST, i, 1) == "Done";
                    queue.EndDialog(IDOK);
                });
    queue.DoModal();
    fnWaitForTransferWorkers();
    return round;
}

} // namespace

int main(int argc, char** argv) {
    const int nRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // Piece hashes per torrent: 5120 make a little over 100 KiB, as the .torrent of a large
    // download is; fewer make the per-file work of the queue count for more.
    const std::size_t nPieces =
        argc > 2 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[2]))) : 5120;
    mwtest::CDeviceProcess device;
    if (!device.Start()) {
        std::fprintf(stderr, "queue_bench: the device did not start: %s\n", device.Error().c_str());
        return 1;
    }
    ::setenv("XDG_STATE_HOME", (device.Root() + "/state-home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (device.Root() + "/config").c_str(), 1);
    std::vector<std::string> arrFiles;
    const std::size_t nNeeded = static_cast<std::size_t>(2 * kFiles * nRounds + 3);
    for (std::size_t i = 0; i < nNeeded; ++i) {
        const std::string strPath = device.Root() + "/q" + std::to_string(i) + ".torrent";
        mwtest::WriteTorrent(strPath,
                             mwtest::MakeTorrent("queue-bench-" + std::to_string(i), nPieces));
        arrFiles.push_back(strPath);
    }
    const std::string strAddress = "127.0.0.1:" + std::to_string(device.HttpPort());
    const auto pReal = CreateRealJobServices();
    auto pRegistry = std::shared_ptr<CRegistry>(OpenUserRegistry());

    std::printf(
        "queue bench: %d files of %zu bytes to the reference device on loopback, %d rounds\n",
        kFiles, mwtest::MakeTorrent("x", nPieces).size(), nRounds);
    std::vector<double> arrRatio;
    for (int r = 0; r < nRounds; ++r) {
        const CRound round = RunRound(strAddress, arrFiles,
                                      static_cast<std::size_t>(2 * kFiles * r), pReal, pRegistry);
        arrRatio.push_back(round.msQueue / round.msSingle);
        std::printf(
            "  round %d: one after another %7.1f ms (%d accepted), queue %7.1f ms (%d done), "
            "ratio %.2f\n",
            r + 1, round.msSingle, round.nSingleOk, round.msQueue, round.nQueueOk, arrRatio.back());
    }
    std::sort(arrRatio.begin(), arrRatio.end());
    std::printf("  median queue / one after another: %.2f (target at most 1.10)\n",
                arrRatio[arrRatio.size() / 2]);

    // Hand-offs to an idle queue: the timer starts them, within its 5 s.
    CHeadlessDriver ui;
    ui.Ui().SetRealTime(true);
    auto pTimed = std::make_shared<CTimedJobs>(pReal);
    CTransferDlg queue(pTimed, pRegistry, kSettingsKey);
    queue.m_strDeviceIP = strAddress;
    queue.m_strUser = mwtest::CDeviceProcess::kUser;
    queue.m_strPassword = mwtest::CDeviceProcess::kPassword;
    queue.m_strShareList = "public";
    std::vector<double> arrLatency;
    Clock::time_point handOff;
    int nHandOffs = 0;
    const std::size_t nFirstHandOff = nNeeded - 3;
    std::function<void()> fnHandOff = [&] {
        CSettingsStore(*pRegistry, kSettingsKey)
            .WriteHandOff(arrFiles[nFirstHandOff + static_cast<std::size_t>(nHandOffs)]);
        handOff = Clock::now();
        queue.WindowProc(WM_UPDATE_LIST, 0, 0);
        ++nHandOffs;
        ui.ThenWhen([&] { return pTimed->LastStart() > handOff && AllFinal(queue); },
                    [&] {
                        arrLatency.push_back(Ms(pTimed->LastStart() - handOff));
                        if (nHandOffs < 3)
                            fnHandOff();
                        else
                            queue.EndDialog(IDOK);
                    });
    };
    ui.Then([&] { fnHandOff(); });
    queue.DoModal();
    fnWaitForTransferWorkers();
    for (std::size_t i = 0; i < arrLatency.size(); ++i)
        std::printf("  hand-off to an idle queue until its upload starts (%zu): %.0f ms\n", i + 1,
                    arrLatency[i]);
    return 0;
}
