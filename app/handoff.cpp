// Handing .torrent paths to the running program's transfer queue window; portable.
#include "app/handoff.h"

#include "app/settings.h"
#include "app/single_instance.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "platform/ui/dialog.h"
#include "resources/resources.h"

#include <chrono>
#include <thread>

namespace {

constexpr char kHandOffLockName[] = "{Ombrel-LM42-BT-Download-Handoff}";
constexpr char kQueueCaption[] = "Transfer";
constexpr unsigned kWmUpdateList = WM_USER + 1234;
// A queue window that does not answer a hand-off within this time is taken as not answering.
constexpr std::chrono::milliseconds kHandOffAnswerTimeout{30000};

// Waits until ready() answers true or nMs have passed (nMs 0: no limit); whether it did.
template <class F>
bool WaitFor(CHandOffServices& services, const CHandOffLimits& limits, unsigned nMs, F ready) {
    for (unsigned nWaited = 0;; nWaited += limits.nPollMs) {
        if (ready())
            return true;
        if (nMs != 0 && nWaited >= nMs)
            return false;
        services.Pause(limits.nPollMs);
    }
}

class CRealHandOff final : public CHandOffServices {
public:
    CRealHandOff(std::shared_ptr<CRegistry> pRegistry, std::string strKey, std::string strProgram)
        : m_pRegistry(std::move(pRegistry)), m_strKey(std::move(strKey)),
          m_strProgram(std::move(strProgram)) {}

    std::unique_ptr<CInstanceMutex> Lock() override { return AcquireNamedLock(kHandOffLockName); }
    bool QueueWindowRuns() override { return FindRemoteWindow(kQueueCaption); }
    bool WriteHandOff(const std::string& strPath) override {
        return CSettingsStore(*m_pRegistry, m_strKey).WriteHandOff(strPath);
    }
    CRemoteResult SendUpdate() override {
        return SendRemoteMessage(kQueueCaption, kWmUpdateList, 0, 0, kHandOffAnswerTimeout);
    }
    bool ProgramRuns() override { return IsInstanceMutexHeld(kSingleInstanceMutexName); }
    bool StartQueueProgram(const std::string& strPath) override {
        return StartProgram(m_strProgram, strPath.empty()
                                              ? std::vector<std::string>{"/Q"}
                                              : std::vector<std::string>{"/Q", strPath});
    }
    void Pause(unsigned nMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
    }
    void Report(const std::string& strText) override {
        GetUiBackend().ShowMessageBox(nullptr, strText, LoadResString(IDS_APP_TITLE),
                                      MB_OK | MB_ICONEXCLAMATION);
    }

private:
    std::shared_ptr<CRegistry> m_pRegistry;
    std::string m_strKey;
    std::string m_strProgram;
};

} // namespace

std::vector<std::string> fnHandOverPaths(const std::vector<std::string>& arrPaths,
                                         CHandOffServices& services, const CHandOffLimits& limits) {
    std::vector<std::string> arrFailed;
    // Two hand-offs never interleave: each writes the value and waits for its answer alone.
    const auto pLock = services.Lock();
    std::size_t i = 0;
    int nAttempt = 0;
    auto next = [&](bool bHandedOver) {
        if (!bHandedOver)
            arrFailed.push_back(arrPaths[i]);
        ++i;
        nAttempt = 0;
    };
    while (i < arrPaths.size()) {
        const std::string& strPath = arrPaths[i];
        if (services.QueueWindowRuns()) {
            if (!services.WriteHandOff(strPath)) {
                next(false);
                continue;
            }
            const CRemoteResult result = services.SendUpdate();
            if (result.Delivered()) {
                // 1: the window could not read the value.
                next(result.lResult == 0);
            } else if (result.status == CRemoteStatus::NoWindow && ++nAttempt < limits.nAttempts) {
                // The window closed under the path: look again.
            } else {
                next(false);
            }
        } else if (services.ProgramRuns()) {
            // The program runs without a queue window (settings, monitor, a single send): its
            // queue may still open; else it ends and a new one is started below.
            WaitFor(services, limits, 0,
                    [&] { return services.QueueWindowRuns() || !services.ProgramRuns(); });
        } else if (!services.StartQueueProgram(strPath)) {
            next(false);
        } else {
            // The path travels on the program's command line. Once the program runs, the rest
            // wait for its queue window as above.
            const bool bStarted = WaitFor(services, limits, limits.nStartWaitMs, [&] {
                return services.QueueWindowRuns() || services.ProgramRuns();
            });
            next(bStarted);
        }
    }
    if (!arrFailed.empty()) {
        std::string strText = "These files could not be handed over to the transfer queue:\n";
        for (const auto& strPath : arrFailed)
            strText += "\n" + strPath;
        mwDebugOutput(strText);
        services.Report(strText);
    }
    return arrFailed;
}

std::shared_ptr<CHandOffServices> CreateRealHandOff(std::shared_ptr<CRegistry> pRegistry,
                                                    std::string strSettingsKey,
                                                    std::string strProgram) {
    return std::make_shared<CRealHandOff>(std::move(pRegistry), std::move(strSettingsKey),
                                          std::move(strProgram));
}
