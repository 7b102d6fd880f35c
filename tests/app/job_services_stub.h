// A do-nothing base for test doubles of the job services: each double overrides what its test
// scripts; portable.
#pragma once

#include "app/job_services.h"

class CJobServicesStub : public CJobServices {
public:
    bool StartSockets() override { return true; }
    void StopSockets() override {}
    bool Search(CDeviceList& /*list*/) override { return true; }
    bool CheckAccount(CDeviceList& /*list*/, int /*nIndex*/, const std::string& /*strUser*/,
                      const std::string& /*strPassword*/) override {
        return false;
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& /*param*/, std::string& /*strMessage*/,
               VARNEL_DWORD& nCode) override {
        nCode = NAS_BTDOWNLOAD_ERR_GENERAL;
        return 0;
    }
    // As the library does: the same upload, without the message.
    int UploadFile(const NAS_BTDOWNLOAD_PARAM& param, VARNEL_DWORD& nCode) override {
        std::string strMessage;
        return Upload(param, strMessage, nCode);
    }
    void SetLogLevel(int /*nLevel*/) override {}
    void Sleep(unsigned /*nMs*/) override {}
    void DebugOutput(const std::string& /*strLine*/) override {}
    bool FetchPage(const std::string& /*strUrl*/, unsigned /*nTimeoutMs*/, std::string& /*strBody*/,
                   std::string& strError) override {
        strError = "no page in this test";
        return false;
    }
};
