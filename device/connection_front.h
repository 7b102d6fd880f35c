// The device's HTTP connections up to a whole request header: accepting, per-address caps, header
// deadlines, and handing whole headers to a pool of workers; Linux platform code.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// One client connection. Bytes already received but not yet taken by the request reader wait in
// strBuffer from nBufferPos on.
struct CConnection {
    int nFd = -1;
    std::uint32_t nPeer = 0; // the client's IPv4 address, network byte order
    std::string strRemoteAddr;
    int nRemotePort = 0;
    std::string strLocalAddr;
    int nLocalPort = 0;
    std::string strBuffer;
    std::size_t nBufferPos = 0;
    int nRequests = 0; // requests served on it so far
    std::chrono::steady_clock::time_point deadline;
    bool bDraining = false;

    std::size_t Buffered() const { return strBuffer.size() - nBufferPos; }
};

// What becomes of a connection after a request: it waits for the next one, it is closed, or the
// rest of an unread body is read and thrown away for a short while before it is closed, so that
// the client sees the answer rather than a reset.
enum class EAfterRequest { Keep, Close, Drain };

struct CFrontLimits {
    std::size_t nWorkers = 16;
    std::size_t nMaxConnections = 512;
    std::size_t nMaxPerAddress = 32;
    std::size_t nMaxHeaderBytes = 16 * 1024;
    int nHeaderMs = 10000; // from the connection (or the request's first byte) to the header's end
    int nKeepAliveMs = 2000; // an idle connection between requests
    int nDrainMs = 2000;     // reading away an unread body
    int nMaxRequests = 100;  // on one connection
};

// Waiting for a request header costs only a slot in one poll loop, never a worker: slow clients
// cannot starve the others. A header must be whole within its deadline, and one address holds a
// bounded number of connections.
class CConnectionFront {
public:
    // fnServe runs on a worker with a connection whose buffer holds a whole header; it answers
    // the request and says what becomes of the connection. bLast: the connection closes after it.
    using FnServe = std::function<EAfterRequest(CConnection& conn, bool bLast)>;

    CConnectionFront(const CFrontLimits& limits, FnServe fnServe);
    ~CConnectionFront();
    CConnectionFront(const CConnectionFront&) = delete;
    CConnectionFront& operator=(const CConnectionFront&) = delete;

    // Listens on host:port (port 0 picks one); false with the reason in strError.
    bool Bind(const std::string& strHost, std::uint16_t nPort, std::string& strError);
    std::uint16_t Port() const { return m_nPort; }
    // Serves until nStopFd becomes readable; requests under way are finished first. False when
    // serving failed.
    bool Run(int nStopFd);

private:
    class CImpl;
    CFrontLimits m_limits;
    FnServe m_fnServe;
    int m_nListen = -1;
    std::uint16_t m_nPort = 0;
};
