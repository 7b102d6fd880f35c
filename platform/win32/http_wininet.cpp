// The HTTP client's request handles over WinINet; Windows backend of platform/http.h.
#include "platform/http.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
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

    bool End() override { return HttpEndRequestA(m_handle.Get(), nullptr, 0, 0) != FALSE; }

    bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
        DWORD n = 0;
        const BOOL ok = InternetReadFile(m_handle.Get(), buffer, size, &n);
        got = n;
        return ok != FALSE;
    }

private:
    CInetHandle m_handle;
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
