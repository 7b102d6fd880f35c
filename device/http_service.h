// The device's web services: the download-job form and the status page; Linux platform code.
#pragma once

#include "device/config.h"
#include "device/job_store.h"

#include <cstdint>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

class CHttpService {
public:
    // nStopFd becomes readable when the device stops; held answers give up then.
    CHttpService(const CDeviceConfig& config, CJobStore& store, int nStopFd);
    ~CHttpService();
    CHttpService(const CHttpService&) = delete;
    CHttpService& operator=(const CHttpService&) = delete;

    bool Bind(std::string& strError);
    std::uint16_t Port() const { return m_nPort; }
    // Serves until Stop(); false when serving failed.
    bool Run();
    void Stop();

private:
    void Setup();

    const CDeviceConfig& m_config;
    CJobStore& m_store;
    int m_nStopFd;
    std::uint16_t m_nPort = 0;
    std::unique_ptr<httplib::Server> m_pServer;
};
