// The HTTP client's request handles over libcurl's multi interface, step by step like the
// Windows client: send the head, write the body, end, read; Linux backend of platform/http.h.
#include "platform/http.h"

#include "platform/system.h"
#include "platform/text.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint32_t kDefaultConnectMs = 60000;
constexpr std::uint32_t kDefaultIdleMs = 60000;
// Answer bytes held before the transfer is paused until the caller reads.
constexpr std::size_t kPendingLimit = 64 * 1024;

std::uint32_t MapCurlError(CURLcode rc) {
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return kHttpErrTimeout;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kHttpErrCannotConnect;
    case CURLE_URL_MALFORMAT:
        return kHttpErrInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return kHttpErrBadUrl;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return kHttpErrConnectionReset;
    default:
        return kHttpErrInternal;
    }
}

void SetCurlError(CURLcode rc, const char* detail) {
    std::string text = curl_easy_strerror(rc);
    if (detail && *detail) {
        text += ": ";
        text += detail;
    }
    mwSetLastError(MapCurlError(rc), text);
}

std::string HeaderName(const std::string& line) {
    const auto colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

// MW_CURL_VERBOSE's trace on standard error, as curl's own verbose output reads, except that
// credentials never appear in it.
int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void*) {
    const char* mark = nullptr;
    switch (type) {
    case CURLINFO_TEXT:
        mark = "* ";
        break;
    case CURLINFO_HEADER_OUT:
        mark = "> ";
        break;
    case CURLINFO_HEADER_IN:
        mark = "< ";
        break;
    default:
        return 0; // body bytes stay out of the trace
    }
    std::string text(data, size);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        pos = end;
        const std::string name = HeaderName(line);
        const CTextOps& ops = GetTextOps();
        if (type == CURLINFO_HEADER_OUT && (ops.CompareNoCase(name, "Authorization") == 0 ||
                                            ops.CompareNoCase(name, "Proxy-Authorization") == 0)) {
            const bool crlf = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
            line = name + ": ***" + (crlf ? "\r\n" : "\n");
        }
        std::fputs(mark, stderr);
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    return 0;
}

class CCurlRequest final : public CHttpRequest {
public:
    CCurlRequest(std::string url, std::string path, std::string referer, std::string agent,
                 const std::string& acceptType)
        : m_strUrl(std::move(url)), m_strPath(std::move(path)), m_strReferer(std::move(referer)),
          m_strAgent(std::move(agent)) {
        // The accept types given at opening make the request's first Accept header.
        m_arrHeaders.push_back("Accept: " + acceptType);
        m_errorBuffer[0] = '\0';
    }

    ~CCurlRequest() override {
        if (m_pMulti && m_pEasy)
            curl_multi_remove_handle(m_pMulti, m_pEasy);
        if (m_pEasy)
            curl_easy_cleanup(m_pEasy);
        if (m_pMulti)
            curl_multi_cleanup(m_pMulti);
        curl_slist_free_all(m_pHeaderList);
    }

    bool AddHeader(const std::string& rawLine, EHttpAddMode mode) override {
        std::string line = rawLine;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        const std::string name = HeaderName(line);
        if (name.empty() || m_bSent) {
            mwSetLastError(87, "The parameter is incorrect.");
            return false;
        }
        const auto existing =
            std::find_if(m_arrHeaders.begin(), m_arrHeaders.end(), [&](const std::string& h) {
                return GetTextOps().CompareNoCase(HeaderName(h), name) == 0;
            });
        if (existing != m_arrHeaders.end()) {
            if (mode == EHttpAddMode::AddIfNew) {
                mwSetLastError(kHttpErrHeaderAlreadyExists,
                               "The header could not be added because it already exists.");
                return false;
            }
            *existing = line;
            return true;
        }
        m_arrHeaders.push_back(line);
        return true;
    }

    bool QueryRawHeaders(std::string& out) override {
        out = "POST " + m_strPath + " HTTP/1.1\r\n";
        for (const auto& h : m_arrHeaders)
            out += h + "\r\n";
        out += "\r\n";
        return true;
    }

    bool Send() override {
        m_pMulti = curl_multi_init();
        m_pEasy = curl_easy_init();
        if (!m_pMulti || !m_pEasy) {
            SetCurlError(CURLE_OUT_OF_MEMORY, nullptr);
            return false;
        }
        curl_off_t contentLength = -1;
        for (const auto& h : m_arrHeaders) {
            m_pHeaderList = curl_slist_append(m_pHeaderList, h.c_str());
            if (GetTextOps().CompareNoCase(HeaderName(h), "Content-Length") == 0)
                contentLength = std::strtoll(h.c_str() + h.find(':') + 1, nullptr, 10);
        }
        // Nothing beyond our own lines: no "Expect: 100-continue" wait.
        m_pHeaderList = curl_slist_append(m_pHeaderList, "Expect:");
        m_nBodyExpected = contentLength < 0 ? 0 : static_cast<std::uint64_t>(contentLength);

        const CHttpLimits limits = GetHttpLimits();
        const long connectMs = limits.nConnectMs ? limits.nConnectMs : kDefaultConnectMs;
        // A connection on which nothing moves for this long ends the call instead of hanging it.
        m_idleLimit = std::chrono::milliseconds(limits.nIdleMs ? limits.nIdleMs : kDefaultIdleMs);
        m_answerLimit =
            std::chrono::milliseconds(limits.nAnswerMs ? limits.nAnswerMs : kHttpDefaultAnswerMs);
        m_tLastActivity = std::chrono::steady_clock::now();
        CURL* e = m_pEasy;
        curl_easy_setopt(e, CURLOPT_URL, m_strUrl.c_str());
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, contentLength);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &CCurlRequest::OnRead);
        curl_easy_setopt(e, CURLOPT_READDATA, this);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CCurlRequest::OnWrite);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CCurlRequest::OnHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_pHeaderList);
        curl_easy_setopt(e, CURLOPT_USERAGENT, m_strAgent.c_str());
        curl_easy_setopt(e, CURLOPT_REFERER, m_strReferer.c_str());
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        // The answer is judged as it arrives: never decoded.
        curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
        curl_easy_setopt(e, CURLOPT_HTTP_TRANSFER_DECODING, 1L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_errorBuffer);
        if (std::getenv("MW_CURL_VERBOSE")) {
            curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &OnDebug);
            curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
        }
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        // Fewer, larger pulls from the body source.
        curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
        curl_multi_add_handle(m_pMulti, e);
        m_bSent = true;

        // Connected and the head is out once the body is asked for.
        if (m_nBodyExpected == 0)
            return Drive([] { return true; }) || !Failed() || FailAgain();
        Drive([this] { return m_bBodyAsked; });
        return !Failed() || FailAgain();
    }

    bool Write(const CHttpBodySource& source, std::uint64_t size, std::uint64_t& written) override {
        written = 0;
        if (!m_bSent || Failed())
            return FailAgain();
        m_pSource = &source;
        m_nBodySize = size;
        m_nBodyOffset = 0;
        curl_easy_pause(m_pEasy, CURLPAUSE_CONT);
        Drive([this] { return m_nBodyOffset >= m_nBodySize || m_bSourceFailed; });
        m_pSource = nullptr;
        written = m_nBodyOffset;
        if (m_bSourceFailed) {
            mwSetLastError(kHttpErrInternal, "The body could not be read.");
            return false;
        }
        return !Failed() || FailAgain();
    }

    bool End() override {
        m_tAnswerDeadline = std::chrono::steady_clock::now() + m_answerLimit;
        m_bAnswerClock = true;
        Drive([this] { return m_bAnswerStarted; });
        return !Failed() || FailAgain();
    }

    bool QueryStatus(std::uint32_t& code, std::string& reason) override {
        code = m_nStatus;
        reason = m_strReason;
        if (m_nStatus == 0) {
            mwSetLastError(kHttpErrInternal, "No status line has arrived.");
            return false;
        }
        return true;
    }

    bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
        got = 0;
        if (m_strPending.empty())
            Drive([this] { return !m_strPending.empty(); });
        if (!m_strPending.empty()) {
            got = static_cast<std::uint32_t>(std::min<std::size_t>(size, m_strPending.size()));
            std::memcpy(buffer, m_strPending.data(), got);
            m_strPending.erase(0, got);
            if (m_bWritePaused && m_strPending.size() < kPendingLimit) {
                m_bWritePaused = false;
                curl_easy_pause(m_pEasy, CURLPAUSE_CONT);
            }
            return true;
        }
        return !Failed() || FailAgain();
    }

private:
    bool Failed() const { return m_bDone && m_result != CURLE_OK; }

    bool FailAgain() {
        SetCurlError(m_bDone ? m_result : CURLE_SEND_ERROR, m_errorBuffer);
        return false;
    }

    // Runs the transfer until done() holds or the transfer has ended; true when done() held.
    bool Drive(const std::function<bool()>& done) {
        while (!m_bDone) {
            int running = 0;
            const CURLMcode mc = curl_multi_perform(m_pMulti, &running);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m_pMulti, &left)) {
                if (msg->msg == CURLMSG_DONE) {
                    m_bDone = true;
                    m_result = msg->data.result;
                }
            }
            if (mc != CURLM_OK && !m_bDone) {
                m_bDone = true;
                m_result = CURLE_SEND_ERROR;
            }
            if (done())
                return true;
            if (m_bDone)
                break;
            const auto now = std::chrono::steady_clock::now();
            const auto idle = now - m_tLastActivity;
            if (m_bConnected && idle >= m_idleLimit) {
                m_bDone = true;
                m_result = CURLE_OPERATION_TIMEDOUT;
                std::snprintf(m_errorBuffer, sizeof m_errorBuffer,
                              "nothing sent or received for %lld ms",
                              static_cast<long long>(m_idleLimit.count()));
                break;
            }
            if (m_bAnswerClock && now >= m_tAnswerDeadline) {
                m_bDone = true;
                m_result = CURLE_OPERATION_TIMEDOUT;
                std::snprintf(m_errorBuffer, sizeof m_errorBuffer,
                              "the answer did not arrive whole within %lld ms",
                              static_cast<long long>(m_answerLimit.count()));
                break;
            }
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_bConnected ? m_idleLimit - idle : std::chrono::milliseconds(1000));
            if (m_bAnswerClock)
                wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          m_tAnswerDeadline - now));
            curl_multi_poll(m_pMulti, nullptr, 0,
                            static_cast<int>(std::clamp<long long>(wait.count() + 1, 1, 1000)),
                            nullptr);
        }
        return done();
    }

    static size_t OnRead(char* buffer, size_t size, size_t count, void* self) {
        auto* me = static_cast<CCurlRequest*>(self);
        if (!me->m_bConnected) {
            // Connected: from here on the idle limit applies, not the connect limit.
            me->m_bConnected = true;
            me->m_tLastActivity = std::chrono::steady_clock::now();
        }
        me->m_bBodyAsked = true;
        if (!me->m_pSource || me->m_nBodyOffset >= me->m_nBodySize)
            return CURL_READFUNC_PAUSE; // the body comes with the next write
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(size * count, me->m_nBodySize - me->m_nBodyOffset));
        std::size_t got = 0;
        if (!(*me->m_pSource)(buffer, want, got) || got == 0 || got > want) {
            me->m_bSourceFailed = true;
            return CURL_READFUNC_ABORT;
        }
        me->m_nBodyOffset += got;
        me->m_tLastActivity = std::chrono::steady_clock::now();
        return got;
    }

    static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
        auto* me = static_cast<CCurlRequest*>(self);
        if (me->m_strPending.size() >= kPendingLimit) {
            me->m_bWritePaused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        me->m_bAnswerStarted = true;
        me->m_tLastActivity = std::chrono::steady_clock::now();
        me->m_strPending.append(data, size * count);
        return size * count;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
        auto* me = static_cast<CCurlRequest*>(self);
        // "HTTP/1.1 413 Payload Too Large": the last status line counts (after a 100 Continue).
        const std::string_view line(data, size * count);
        if (line.size() > 9 && line.substr(0, 5) == "HTTP/") {
            const auto space = line.find(' ');
            const std::string_view rest =
                space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
            std::uint32_t code = 0;
            std::size_t i = 0;
            for (; i < rest.size() && i < 3 && rest[i] >= '0' && rest[i] <= '9'; ++i)
                code = code * 10 + static_cast<std::uint32_t>(rest[i] - '0');
            if (i == 3) {
                me->m_nStatus = code;
                std::string_view reason = rest.substr(3);
                while (!reason.empty() && reason.front() == ' ')
                    reason.remove_prefix(1);
                while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
                    reason.remove_suffix(1);
                me->m_strReason = std::string(reason);
            }
        }
        me->m_bAnswerStarted = true;
        me->m_tLastActivity = std::chrono::steady_clock::now();
        return size * count;
    }

    std::string m_strUrl, m_strPath, m_strReferer, m_strAgent;
    std::vector<std::string> m_arrHeaders;
    curl_slist* m_pHeaderList = nullptr;
    CURLM* m_pMulti = nullptr;
    CURL* m_pEasy = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE];
    bool m_bSent = false;
    bool m_bDone = false;
    CURLcode m_result = CURLE_OK;
    std::uint64_t m_nBodyExpected = 0;
    const CHttpBodySource* m_pSource = nullptr;
    std::uint64_t m_nBodySize = 0;
    std::uint64_t m_nBodyOffset = 0;
    bool m_bSourceFailed = false;
    bool m_bBodyAsked = false;
    bool m_bAnswerStarted = false;
    bool m_bWritePaused = false;
    bool m_bConnected = false;
    std::chrono::milliseconds m_idleLimit{kDefaultIdleMs};
    std::chrono::milliseconds m_answerLimit{kHttpDefaultAnswerMs};
    std::chrono::steady_clock::time_point m_tAnswerDeadline;
    bool m_bAnswerClock = false;
    std::uint32_t m_nStatus = 0;
    std::string m_strReason;
    std::chrono::steady_clock::time_point m_tLastActivity;
    std::string m_strPending;
};

class CCurlConnection final : public CHttpConnection {
public:
    CCurlConnection(std::string base, std::string agent)
        : m_strBase(std::move(base)), m_strAgent(std::move(agent)) {}

    std::unique_ptr<CHttpRequest> OpenRequest(const std::string& verb, const std::string& path,
                                              const std::string& referer,
                                              const std::string& acceptType,
                                              std::uint32_t /*flags*/) override {
        if (verb != "POST") {
            mwSetLastError(87, "The parameter is incorrect.");
            return nullptr;
        }
        return std::make_unique<CCurlRequest>(m_strBase + path, path, referer, m_strAgent,
                                              acceptType);
    }

private:
    std::string m_strBase;
    std::string m_strAgent;
};

class CCurlSession final : public CHttpSession {
public:
    explicit CCurlSession(std::string agent) : m_strAgent(std::move(agent)) {}

    bool CrackUrl(const std::string& url, CHttpUrlParts& parts) override {
        CURLU* u = curl_url();
        if (!u) {
            mwSetLastError(8, "Not enough memory is available to process this command.");
            return false;
        }
        bool ok = false;
        char *scheme = nullptr, *host = nullptr, *port = nullptr, *path = nullptr, *query = nullptr;
        if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_PATH, &path, 0) == CURLUE_OK && *host) {
            const std::string s = scheme;
            if (s == "http" || s == "https") {
                parts.strHost = host;
                parts.nPort = static_cast<std::uint16_t>(std::strtoul(port, nullptr, 10));
                parts.strPath = path;
                if (curl_url_get(u, CURLUPART_QUERY, &query, 0) == CURLUE_OK && query)
                    parts.strPath += std::string("?") + query;
                m_strScheme = s;
                ok = true;
            }
        }
        curl_free(scheme);
        curl_free(host);
        curl_free(port);
        curl_free(path);
        curl_free(query);
        curl_url_cleanup(u);
        if (!ok)
            mwSetLastError(kHttpErrInvalidUrl, "The URL is invalid.");
        return ok;
    }

    std::unique_ptr<CHttpConnection> Connect(const std::string& host, std::uint16_t port,
                                             const std::string& /*user*/,
                                             const std::string& /*password*/) override {
        // The credentials travel in the request's own Authorization line.
        if (host.empty()) {
            mwSetLastError(kHttpErrInvalidUrl, "The URL is invalid.");
            return nullptr;
        }
        const std::string base = (m_strScheme.empty() ? "http" : m_strScheme) + "://" + host + ":" +
                                 std::to_string(port);
        return std::make_unique<CCurlConnection>(base, m_strAgent);
    }

private:
    std::string m_strAgent;
    std::string m_strScheme;
};

} // namespace

std::unique_ptr<CHttpSession> OpenHttpSession(const std::string& userAgent) {
    static std::once_flag once;
    static CURLcode initResult = CURLE_OK;
    std::call_once(once, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (initResult != CURLE_OK) {
        SetCurlError(initResult, nullptr);
        return nullptr;
    }
    return std::make_unique<CCurlSession>(userAgent);
}
