// The busy dialog's seam to the search, the account check and the upload; portable.
#pragma once

#include "upload/varnel.h"

#include <memory>
#include <string>

class CDeviceList;

// What the busy dialog's worker calls out to. The program installs the real one at start-up
// (CreateRealBusyJobs); tests install their own to choose outcomes. Every call but the install
// runs on the worker thread, so an implementation must not touch windows.
class CBusyJobs {
public:
    virtual ~CBusyJobs() = default;
    // The broadcast search, filling pList.
    virtual bool Search(CDeviceList* pList) = 0;
    // The account check against the device at nIndex of pList; true when it accepted.
    virtual bool CheckAccount(CDeviceList* pList, int nIndex, const std::string& strUser,
                              const std::string& strPassword) = 0;
    // One upload: 1 accepted, else 0 with the result code and the device's message, if any.
    virtual int Upload(const NAS_BTDOWNLOAD_PARAM& param, std::string& strMessage,
                       VARNEL_DWORD& nCode) = 0;
    virtual void SetLogLevel(int nLevel) = 0;
    virtual void Sleep(unsigned nMs) = 0;
    // One line of diagnostics for the developer (debugger output); never shown to the user.
    virtual void DebugOutput(const std::string& strLine) = 0;
};

// The seam that busy dialogs made from now on use (UI thread).
void SetBusyJobs(std::shared_ptr<CBusyJobs> pJobs);
std::shared_ptr<CBusyJobs> GetBusyJobs();

// The program's seam: fnSearchDevice, varnel_NAS_BTDownloadForLocalFile2, qvSetLogLevel, the
// system's sleep and debugger output. Built by the target mw_busy_real.
std::shared_ptr<CBusyJobs> CreateRealBusyJobs();
