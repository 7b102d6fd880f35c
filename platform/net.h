// UDP sockets, readiness wait and the host's own IPv4 addresses; portable interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// An IPv4 address in network byte order and a port in host byte order.
struct CNetEndpoint {
    std::uint32_t nAddr = 0;
    std::uint16_t nPort = 0;
};

// Builds a network-order address from its four dotted parts, a.b.c.d.
constexpr std::uint32_t MakeIPv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    // Network order means the first part is the first byte in memory, whatever the host's order.
    const std::uint8_t bytes[4] = {a, b, c, d};
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

constexpr int kNetNothingToRead = -2;

// One UDP socket of the IPv4 family; destroying it closes it. Operations return false (or -1) on
// failure, with the reason in mwGetLastError() and GetLastErrorText().
class CUdpSocket {
public:
    virtual ~CUdpSocket() = default;
    // Allows sending to broadcast addresses (SO_BROADCAST set to 1).
    virtual bool EnableBroadcast() = 0;
    virtual bool Bind(const CNetEndpoint& local) = 0;
    // Sends the whole of data as one datagram.
    virtual bool SendTo(std::span<const std::uint8_t> data, const CNetEndpoint& to) = 0;
    // Takes one datagram into buffer and returns its size; -1 when receiving fails or the datagram
    // is larger than buffer (it is then lost); kNetNothingToRead when a datagram that a wait
    // reported was dropped by the system meanwhile. pFrom, when given, receives the sender.
    virtual int Receive(std::span<std::uint8_t> buffer, CNetEndpoint* pFrom) = 0;
    // The address and port the socket is bound to (port 0 binds to one the system picks).
    virtual CNetEndpoint LocalEndpoint() const = 0;
};

enum class ENetWait { Ready, Timeout, Failed };

// The socket library of one platform. Sockets given to WaitReadable come from the same CNet.
class CNet {
public:
    virtual ~CNet() = default;
    // Starts and stops the socket library; calls pair up.
    virtual bool Startup() = 0;
    virtual void Cleanup() = 0;
    // The host's own IPv4 addresses in the system's order, without loopback addresses and
    // interfaces that are down; empty when they cannot be obtained.
    virtual std::vector<std::uint32_t> LocalAddresses() = 0;
    // A new UDP socket, or null.
    virtual std::unique_ptr<CUdpSocket> OpenUdp() = 0;
    // Waits until at least one of sockets can be read without blocking, or nTimeoutMs pass.
    // On Ready, arrReady holds one flag per socket, in the same order.
    virtual ENetWait WaitReadable(std::span<CUdpSocket* const> sockets, int nTimeoutMs,
                                  std::vector<bool>& arrReady) = 0;
};

// The process-wide socket library of this platform.
CNet& GetNet();
