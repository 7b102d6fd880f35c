// The program's job services over the real search, upload, page fetch and logging; portable.
#include "app/job_services.h"

#include "discovery/search.h"
#include "outside/dunmore/dunmore.h"
#include "platform/debug_output.h"
#include "platform/page_fetch.h"

#include <chrono>
#include <thread>

namespace {

class CRealJobServices final : public CJobServices {
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
    int UploadFile(const NAS_BTDOWNLOAD_PARAM& param, VARNEL_DWORD& nCode) override {
        return varnel_NAS_BTDownloadForLocalFile(&param, &nCode);
    }
    void SetLogLevel(int nLevel) override { qvSetLogLevel(nLevel); }
    void Sleep(unsigned nMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
    }
    void DebugOutput(const std::string& strLine) override { mwDebugOutput(strLine); }
    bool FetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                   std::string& strError) override {
        return fnFetchPage(strUrl, nTimeoutMs, strBody, strError);
    }
};

} // namespace

std::shared_ptr<CJobServices> CreateRealJobServices() {
    return std::make_shared<CRealJobServices>();
}
