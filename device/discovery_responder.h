// The device's discovery responder on a UDP socket; Linux platform code.
#pragma once

#include "device/config.h"

#include <cstdint>
#include <string>
#include <vector>

class CDiscoveryResponder {
public:
    explicit CDiscoveryResponder(const CDeviceConfig& config);
    ~CDiscoveryResponder();
    CDiscoveryResponder(const CDiscoveryResponder&) = delete;
    CDiscoveryResponder& operator=(const CDiscoveryResponder&) = delete;

    // Opens and binds the socket; false with the reason in strError.
    bool Bind(std::string& strError);
    std::uint16_t Port() const { return m_nPort; }
    // Answers datagrams until nStopFd becomes readable.
    void Run(int nStopFd);

private:
    void OnDatagram(const std::uint8_t* data, std::size_t size, const void* from,
                    std::uint32_t localAddr, int nIfIndex);
    void Reply(const std::vector<std::uint8_t>& datagram, const void* to, std::uint32_t localAddr,
               int nIfIndex);

    const CDeviceConfig& m_config;
    int m_nSocket = -1;
    std::uint16_t m_nPort = 0;
};
