// The front end's seam over the program's search, account check and upload; portable.
#include "cli/services.h"

#include "platform/page_fetch.h"
#include "discovery/search.h"
#include "outside/dunmore/dunmore.h"

#include <chrono>
#include <thread>

namespace {

class CRealCliServices final : public CCliServices {
public:
    bool StartSockets() override { return fnStartSockets(); }
    void StopSockets() override { fnStopSockets(); }
    bool Search(CDeviceList& list) override { return fnSearchDevice(list, true, 0, "", ""); }
    bool CheckAccount(CDeviceList& list, int nIndex, const std::string& strUser,
                      const std::string& strPassword) override {
        return fnSearchDevice(list, false, nIndex, strUser, strPassword);
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& param, std::string& strMessage,
               VARNEL_DWORD& nCode) override {
        return varnel_NAS_BTDownloadForLocalFile2(&param, &strMessage, &nCode);
    }
    void SetLogLevel(int nLevel) override { qvSetLogLevel(nLevel); }
    void Sleep(unsigned nMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
    }
    bool FetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                   std::string& strError) override {
        return fnFetchPage(strUrl, nTimeoutMs, strBody, strError);
    }
};

} // namespace

std::shared_ptr<CCliServices> CreateRealCliServices() {
    return std::make_shared<CRealCliServices>();
}
