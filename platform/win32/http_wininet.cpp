// The HTTP client's request handles over WinINet; Windows backend of platform/http.h.
#include "platform/http.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Applies the test-shortened time limits to a handle; the product keeps the system's.
void ApplyLimits(HINTERNET h) {
    const CHttpLimits limits = GetHttpLimits();
    if (limits.nConnectMs) {
        DWORD ms = limits.nConnectMs;
        InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    }
    if (limits.nIdleMs) {
        DWORD ms = limits.nIdleMs;
        InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
        InternetSetOptionA(h, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
    }
}

// Closes a WinINet handle when its owner goes.
class CInetHandle {
public:
    explicit CInetHandle(HINTERNET h = nullptr) : m_h(h) {}
    ~CInetHandle() {
        if (m_h)
            InternetCloseHandle(m_h);
    }
    CInetHandle(const CInetHandle&) = delete;
    CInetHandle& operator=(const CInetHandle&) = delete;
    HINTERNET Get() const { return m_h; }
    void Close() {
        if (m_h)
            InternetCloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HINTERNET m_h;
};

class CInetRequest final : public CHttpRequest {
    // The body goes to the client in pieces of this size.
    static constexpr std::uint64_t kChunk = 256 * 1024;

public:
    explicit CInetRequest(HINTERNET h) : m_handle(h) {}

    bool AddHeader(const std::string& line, EHttpAddMode mode) override {
        const DWORD flags = mode == EHttpAddMode::ReplaceOrAdd
                                ? HTTP_ADDREQ_FLAG_REPLACE | HTTP_ADDREQ_FLAG_ADD
                                : HTTP_ADDREQ_FLAG_ADD_IF_NEW;
        return HttpAddRequestHeadersA(m_handle.Get(), line.c_str(), static_cast<DWORD>(line.size()),
                                      flags) != FALSE;
    }

    bool QueryRawHeaders(std::string& out) override {
        DWORD size = 0;
        HttpQueryInfoA(m_handle.Get(),
                       HTTP_QUERY_RAW_HEADERS_CRLF | HTTP_QUERY_FLAG_REQUEST_HEADERS, nullptr,
                       &size, nullptr);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        out.assign(size, '\0');
        if (!HttpQueryInfoA(m_handle.Get(),
                            HTTP_QUERY_RAW_HEADERS_CRLF | HTTP_QUERY_FLAG_REQUEST_HEADERS,
                            out.data(), &size, nullptr))
            return false;
        out.resize(size);
        return true;
    }

    bool Send() override {
        INTERNET_BUFFERSA buffers{};
        buffers.dwStructSize = sizeof buffers;
        return HttpSendRequestExA(m_handle.Get(), &buffers, nullptr, HSR_INITIATE, 0) != FALSE;
    }

    bool Write(const CHttpBodySource& source, std::uint64_t size, std::uint64_t& written) override {
        written = 0;
        std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk)));
        while (written < size) {
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - written, kChunk));
            std::size_t got = 0;
            if (!source(chunk.data(), want, got) || got == 0 || got > want) {
                SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
                return false;
            }
            std::size_t sent = 0;
            while (sent < got) {
                DWORD n = 0;
                if (!InternetWriteFile(m_handle.Get(), chunk.data() + sent,
                                       static_cast<DWORD>(got - sent), &n) ||
                    n == 0)
                    return false;
                sent += n;
                written += n;
            }
        }
        return true;
    }

    bool End() override {
        const CHttpLimits limits = GetHttpLimits();
        m_tDeadline =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(limits.nAnswerMs ? limits.nAnswerMs : kHttpDefaultAnswerMs);
        // The idle limit stays what it was: the one set for tests, else the handle's own.
        DWORD ms = 0;
        DWORD len = sizeof ms;
        if (limits.nIdleMs)
            m_nIdleMs = limits.nIdleMs;
        else if (InternetQueryOptionA(m_handle.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, &len) &&
                 ms)
            m_nIdleMs = ms;
        if (!LimitNextWait())
            return false;
        // A status line and headers that trickle in keep HttpEndRequestA inside one call for as
        // long as they last. At the deadline a guard cuts the wait for the next bytes to almost
        // nothing (Wine applies that to the live connection) and closes the handle (Windows'
        // way to cancel a blocking call from another thread).
        std::mutex mutex;
        std::condition_variable ended;
        bool bEnded = false;
        bool bCancelled = false;
        std::thread guard([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!ended.wait_until(lock, m_tDeadline, [&] { return bEnded; })) {
                bCancelled = true;
                DWORD nowMs = 1;
                InternetSetOptionA(m_handle.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &nowMs,
                                   sizeof nowMs);
                m_handle.Close();
            }
        });
        const BOOL ok = HttpEndRequestA(m_handle.Get(), nullptr, 0, 0);
        const DWORD error = GetLastError();
        {
            std::lock_guard<std::mutex> lock(mutex);
            bEnded = true;
        }
        ended.notify_all();
        guard.join();
        SetLastError(bCancelled ? ERROR_INTERNET_TIMEOUT : error);
        return ok != FALSE && !bCancelled;
    }

    bool QueryStatus(std::uint32_t& code, std::string& reason) override {
        DWORD number = 0;
        DWORD len = sizeof number;
        if (!HttpQueryInfoA(m_handle.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                            &number, &len, nullptr))
            return false;
        code = number;
        char text[256] = {};
        len = sizeof text;
        reason = HttpQueryInfoA(m_handle.Get(), HTTP_QUERY_STATUS_TEXT, text, &len, nullptr)
                     ? std::string(text, len)
                     : std::string();
        return true;
    }

    // The client reports an answer closed early as its end: what arrived is measured against
    // Content-Length. Each read asks only for what is there, so that no read waits for a full
    // buffer while the answer trickles, and every wait ends by the answer's deadline.
    bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
        got = 0;
        if (!m_bLengthKnown) {
            m_bLengthKnown = true;
            char text[32] = {};
            DWORD len = sizeof text - 1;
            if (HttpQueryInfoA(m_handle.Get(), HTTP_QUERY_CONTENT_LENGTH, text, &len, nullptr)) {
                char* end = nullptr;
                const unsigned long long n = std::strtoull(text, &end, 10);
                if (end != text && *end == '\0') {
                    m_nAnnounced = n;
                    m_bAnnounced = true;
                }
            }
        }
        if (!LimitNextWait())
            return false;
        DWORD available = 0;
        if (!InternetQueryDataAvailable(m_handle.Get(), &available, 0, 0))
            return false;
        if (available == 0) {
            if (m_bAnnounced && m_nReceived < m_nAnnounced) {
                SetLastError(ERROR_INTERNET_CONNECTION_RESET);
                return false;
            }
            return true;
        }
        DWORD n = 0;
        if (!InternetReadFile(m_handle.Get(), buffer, std::min<DWORD>(size, available), &n))
            return false;
        got = n;
        m_nReceived += n;
        return true;
    }

private:
    // Shortens the next wait for answer bytes to what is left of the answer's time; false with
    // a timeout once none is left.
    bool LimitNextWait() {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              m_tDeadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            SetLastError(ERROR_INTERNET_TIMEOUT);
            return false;
        }
        DWORD ms = static_cast<DWORD>(left);
        if (m_nIdleMs)
            ms = std::min(ms, m_nIdleMs);
        InternetSetOptionA(m_handle.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
        return true;
    }

    CInetHandle m_handle;
    std::chrono::steady_clock::time_point m_tDeadline;
    DWORD m_nIdleMs = 60000;
    bool m_bLengthKnown = false;
    bool m_bAnnounced = false;
    std::uint64_t m_nAnnounced = 0;
    std::uint64_t m_nReceived = 0;
};

class CInetConnection final : public CHttpConnection {
public:
    explicit CInetConnection(HINTERNET h) : m_handle(h) {}

    std::unique_ptr<CHttpRequest> OpenRequest(const std::string& verb, const std::string& path,
                                              const std::string& referer,
                                              const std::string& acceptType,
                                              std::uint32_t flags) override {
        const char* acceptTypes[] = {acceptType.c_str(), nullptr};
        HINTERNET h = HttpOpenRequestA(m_handle.Get(), verb.c_str(), path.c_str(), nullptr,
                                       referer.c_str(), acceptTypes, flags, 0);
        if (h)
            ApplyLimits(h);
        return h ? std::make_unique<CInetRequest>(h) : nullptr;
    }

private:
    CInetHandle m_handle;
};

class CInetSession final : public CHttpSession {
public:
    explicit CInetSession(HINTERNET h) : m_handle(h) {}

    bool CrackUrl(const std::string& url, CHttpUrlParts& parts) override {
        URL_COMPONENTSA c{};
        c.dwStructSize = sizeof c;
        c.dwHostNameLength = 1;
        c.dwUrlPathLength = 1;
        if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &c))
            return false;
        if (!c.lpszHostName || c.dwHostNameLength == 0) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return false;
        }
        parts.strHost.assign(c.lpszHostName, c.dwHostNameLength);
        parts.strPath = c.lpszUrlPath ? std::string(c.lpszUrlPath, c.dwUrlPathLength) : "";
        parts.nPort = c.nPort;
        return true;
    }

    std::unique_ptr<CHttpConnection> Connect(const std::string& host, std::uint16_t port,
                                             const std::string& user,
                                             const std::string& password) override {
        HINTERNET h =
            InternetConnectA(m_handle.Get(), host.c_str(), port, user.c_str(), password.c_str(),
                             INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_CACHE_WRITE, 0);
        return h ? std::make_unique<CInetConnection>(h) : nullptr;
    }

private:
    CInetHandle m_handle;
};

} // namespace

std::unique_ptr<CHttpSession> OpenHttpSession(const std::string& userAgent) {
    HINTERNET h =
        InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!h)
        return nullptr;
    ApplyLimits(h);
    return std::make_unique<CInetSession>(h);
}
