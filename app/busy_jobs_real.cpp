// The busy dialog's seam over the real search, upload and logging; portable.
#include "app/busy_jobs.h"

#include "discovery/search.h"
#include "outside/dunmore/dunmore.h"
#include "platform/debug_output.h"

#include <chrono>
#include <thread>

namespace {

class CRealBusyJobs final : public CBusyJobs {
public:
    bool Search(CDeviceList* pList) override {
        return fnSearchDevice(pList ? *pList : g_DeviceList, true, 0, "", "");
    }
    bool CheckAccount(CDeviceList* pList, int nIndex, const std::string& strUser,
                      const std::string& strPassword) override {
        return fnSearchDevice(pList ? *pList : g_DeviceList, false, nIndex, strUser, strPassword);
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& param, std::string& strMessage,
               VARNEL_DWORD& nCode) override {
        return varnel_NAS_BTDownloadForLocalFile2(&param, &strMessage, &nCode);
    }
    void SetLogLevel(int nLevel) override { qvSetLogLevel(nLevel); }
    void Sleep(unsigned nMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
    }
    void DebugOutput(const std::string& strLine) override { mwDebugOutput(strLine); }
};

} // namespace

std::shared_ptr<CBusyJobs> CreateRealBusyJobs() {
    return std::make_shared<CRealBusyJobs>();
}
