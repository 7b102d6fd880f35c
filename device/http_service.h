// The device's web services: the download-job form and the status page; Linux platform code.
#pragma once

#include "device/config.h"
#include "device/connection_front.h"
#include "device/job_store.h"

#include <cstdint>
#include <memory>
#include <string>

class CDeviceServer;

class CHttpService {
public:
    // nStopFd becomes readable when the device stops; held answers give up then.
    CHttpService(const CDeviceConfig& config, CJobStore& store, int nStopFd);
    ~CHttpService();
    CHttpService(const CHttpService&) = delete;
    CHttpService& operator=(const CHttpService&) = delete;

    bool Bind(std::string& strError);
    std::uint16_t Port() const { return m_front.Port(); }
    // Serves until the stop descriptor becomes readable; false when serving failed.
    bool Run();

private:
    void Setup();
    // Answers the request whose header conn holds.
    EAfterRequest OnRequest(CConnection& conn, bool bLast);

    const CDeviceConfig& m_config;
    CJobStore& m_store;
    int m_nStopFd;
    std::unique_ptr<CDeviceServer> m_pServer;
    CConnectionFront m_front;
};
