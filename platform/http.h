// The HTTP client's request handles, shaped after the steps of one upload; portable interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Error codes the core tells apart; the numbers are the ones the Windows client uses, and every
// backend reports them through mwGetLastError().
constexpr std::uint32_t kHttpErrHeaderAlreadyExists = 12155; // ERROR_HTTP_HEADER_ALREADY_EXISTS
constexpr std::uint32_t kHttpErrTimeout = 12002;             // ERROR_INTERNET_TIMEOUT
constexpr std::uint32_t kHttpErrCannotConnect = 12029;       // ERROR_INTERNET_CANNOT_CONNECT
constexpr std::uint32_t kHttpErrBadUrl = 12006;              // ERROR_INTERNET_UNRECOGNIZED_SCHEME
constexpr std::uint32_t kHttpErrInvalidUrl = 12005;          // ERROR_INTERNET_INVALID_URL
constexpr std::uint32_t kHttpErrConnectionReset = 12031;     // ERROR_INTERNET_CONNECTION_RESET
constexpr std::uint32_t kHttpErrInternal = 12004;            // ERROR_INTERNET_INTERNAL_ERROR

// How a header line joins the request: replace an existing header of that name or else add it;
// or add it only when the request has none, failing with kHttpErrHeaderAlreadyExists otherwise.
enum class EHttpAddMode { ReplaceOrAdd, AddIfNew };

// Request flags of the open-request step, passed through to the client.
constexpr std::uint32_t kHttpFlagNoCacheWrite = 0x04000000;
constexpr std::uint32_t kHttpFlagKeepConnection = 0x00400000;

// Host, port and path of a URL, each a copy.
struct CHttpUrlParts {
    std::string strHost;
    std::uint16_t nPort = 0;
    std::string strPath; // the URL path with its query, as the request target
};

// Fills buffer with the next body bytes (got of at most size; 0 only once the body has ended);
// false ends the write as failed.
using CHttpBodySource = std::function<bool(char* buffer, std::size_t size, std::size_t& got)>;

// Every operation returns true on success; on failure the reason is in mwGetLastError() and
// GetLastErrorText(), taken right after the call.
class CHttpRequest {
public:
    virtual ~CHttpRequest() = default;
    // One header line with its closing CR LF.
    virtual bool AddHeader(const std::string& line, EHttpAddMode mode) = 0;
    // The request's header text as it stands; backends without one return true and an empty text.
    virtual bool QueryRawHeaders(std::string& out) = 0;
    // Starts the request: connects and sends the request line and headers.
    virtual bool Send() = 0;
    // Sends the body in one write of size bytes, pulled from source as the connection takes
    // them, so that no copy of the body need exist; written receives the count sent.
    virtual bool Write(const CHttpBodySource& source, std::uint64_t size,
                       std::uint64_t& written) = 0;
    // Ends the request and waits for the answer to begin. From here on the whole answer must
    // arrive within the answer limit (CHttpLimits), however steadily it trickles.
    virtual bool End() = 0;
    // The answer's status code and reason phrase, once End() has returned.
    virtual bool QueryStatus(std::uint32_t& code, std::string& reason) = 0;
    // Reads answer bytes; got is 0 once the answer has ended whole. An answer that ends before
    // its announced length, is reset, or outlasts the answer limit fails the read instead.
    virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) = 0;
};

class CHttpConnection {
public:
    virtual ~CHttpConnection() = default;
    virtual std::unique_ptr<CHttpRequest>
    OpenRequest(const std::string& verb, const std::string& path, const std::string& referer,
                const std::string& acceptType, std::uint32_t flags) = 0;
};

// The root handle.
class CHttpSession {
public:
    virtual ~CHttpSession() = default;
    virtual bool CrackUrl(const std::string& url, CHttpUrlParts& parts) = 0;
    virtual std::unique_ptr<CHttpConnection> Connect(const std::string& host, std::uint16_t port,
                                                     const std::string& user,
                                                     const std::string& password) = 0;
};

// Opens a root handle with the given user agent and the system's configured proxy (on Linux the
// usual proxy environment variables); null on failure.
std::unique_ptr<CHttpSession> OpenHttpSession(const std::string& userAgent);

// Time limits of the exchange. The product keeps the client's defaults (about 60 s to connect,
// about 60 s without answer data) and adds one of its own: the whole answer within 60 s of the
// request's end, so that an answer trickling a byte at a time cannot hold a call for hours.
// Tests shorten them here. Zero means the default.
struct CHttpLimits {
    std::uint32_t nConnectMs = 0;
    std::uint32_t nIdleMs = 0;
    std::uint32_t nAnswerMs = 0;
};
constexpr std::uint32_t kHttpDefaultAnswerMs = 60000;
void SetHttpLimits(const CHttpLimits& limits);
CHttpLimits GetHttpLimits();
