// What the command line front end calls out to: search, account check, upload, status page;
// portable.
#pragma once

#include "upload/varnel.h"

#include <memory>
#include <string>

class CDeviceList;

// The front end's seam to the network. The program's own routines sit behind the real one
// (CreateRealCliServices); tests put their own in to choose outcomes. An upload may run on a
// worker thread that outlives its deadline, so implementations are shared and reentrant.
class CCliServices {
public:
    virtual ~CCliServices() = default;
    // Start and stop of the socket library around a search or an account check.
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
    virtual void SetLogLevel(int nLevel) = 0;
    virtual void Sleep(unsigned nMs) = 0;
    // GETs a page within nTimeoutMs; false with the reason in strError (an answer other than
    // 200 included).
    virtual bool FetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                           std::string& strError) = 0;
};

// fnStartSockets, fnSearchDevice, varnel_NAS_BTDownloadForLocalFile2, qvSetLogLevel and the
// platform's page fetch.
std::shared_ptr<CCliServices> CreateRealCliServices();
