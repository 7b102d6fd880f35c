// The one seam between the program's jobs and the outside: search, account check, upload, status
// page, logging level, pauses and diagnostics; portable.
#pragma once

#include "upload/varnel.h"

#include <memory>
#include <string>

class CDeviceList;

// What the busy dialog's worker, the transfer worker and the command line front end call out to.
// The program installs the real one at start-up (CreateRealJobServices); tests install their own
// to choose outcomes. Workers call it on their own threads, and an upload may outlive the window
// that started it, so implementations are shared, reentrant and touch no window.
class CJobServices {
public:
    virtual ~CJobServices() = default;
    // Start and stop of the socket library around searches and account checks.
    virtual bool StartSockets() = 0;
    virtual void StopSockets() = 0;
    // The broadcast search, adding what answers to list.
    virtual bool Search(CDeviceList& list) = 0;
    // The account check against the device at nIndex of list; true when it accepted.
    virtual bool CheckAccount(CDeviceList& list, int nIndex, const std::string& strUser,
                              const std::string& strPassword) = 0;
    // One upload: 1 accepted, else 0 with the result code and the device's message, if any.
    virtual int Upload(const NAS_BTDOWNLOAD_PARAM& param, std::string& strMessage,
                       VARNEL_DWORD& nCode) = 0;
    // One upload without the device's message, as the transfer queue sends.
    virtual int UploadFile(const NAS_BTDOWNLOAD_PARAM& param, VARNEL_DWORD& nCode) = 0;
    virtual void SetLogLevel(int nLevel) = 0;
    virtual void Sleep(unsigned nMs) = 0;
    // One line of diagnostics for the developer (debugger output); never shown to the user.
    virtual void DebugOutput(const std::string& strLine) = 0;
    // GETs a page within nTimeoutMs; false with the reason in strError (an answer other than
    // 200 included).
    virtual bool FetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                           std::string& strError) = 0;
};

// The services that windows made from now on use (UI thread).
void SetJobServices(std::shared_ptr<CJobServices> pServices);
std::shared_ptr<CJobServices> GetJobServices();

// The program's services: fnStartSockets, fnSearchDevice, the upload library, qvSetLogLevel, the
// platform's page fetch, the system's sleep and debugger output. Built by the target mw_jobs_real.
std::shared_ptr<CJobServices> CreateRealJobServices();
