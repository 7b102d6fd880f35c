// The device's web services: the download-job form and the status page; Linux platform code.
#include "device/http_service.h"

#include "device/log.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char kJobPath[] = "/Down/download_job.cgi";
const char kStatusPath[] = "/Down/download_ui.cgi";
// The fields the upload always sends; a form without any of them is refused.
const char* const kRequiredFields[] = {"proto",   "torrent",   "upfilename", "share_list",
                                       "subdir",  "this_file", "todo",       "h_share_list",
                                       "h_proto", "h_torrent", "finish"};
constexpr std::size_t kMaxBody = 32 * 1024 * 1024;

// What the handler of the current request wants its log line to say; the logger runs on the
// same thread right after the answer is written.
thread_local std::string t_strNote;
thread_local bool t_bLogged = false;

std::string Html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The answer of the download-job form: an empty message means the job was taken.
std::string JobPage(const std::string& strMessage) {
    std::string page = "<HTML><HEAD><TITLE>Download Job</TITLE></HEAD><BODY>\n"
                       "<FORM name=\"job\">\n"
                       "<input type=\"hidden\" name=\"message\" value=\"" +
                       Html(strMessage) + "\">\n</FORM>\n";
    page += strMessage.empty() ? "<P>The download job was added.</P>\n"
                               : "<P>" + Html(strMessage) + "</P>\n";
    return page + "</BODY></HTML>\n";
}

std::string UnauthorizedPage() {
    return "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD><BODY>\n"
           "<P>A valid user name and password are required.</P>\n</BODY></HTML>\n";
}

bool DecodeBase64(const std::string& in, std::string& out) {
    if (in.empty() || in.size() % 4 != 0) {
        return false;
    }
    std::string buf(in.size() / 4 * 3, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(buf.data()),
                            reinterpret_cast<const unsigned char*>(in.data()),
                            static_cast<int>(in.size()));
    if (n < 0) {
        return false;
    }
    std::size_t nPad = in.size() - in.find_last_not_of('=') - 1;
    if (nPad > 2) {
        return false;
    }
    buf.resize(static_cast<std::size_t>(n) - nPad);
    out = buf;
    return true;
}

// The user of valid Basic credentials, or nothing.
std::optional<std::string> Authorize(const httplib::Request& req, const CDeviceConfig& config) {
    std::string header = req.get_header_value("Authorization");
    if (header.size() < 6 || strncasecmp(header.c_str(), "Basic ", 6) != 0) {
        return std::nullopt;
    }
    std::string strPair;
    if (!DecodeBase64(header.substr(header.find_first_not_of(' ', 6)), strPair)) {
        return std::nullopt;
    }
    auto colon = strPair.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::string user = strPair.substr(0, colon);
    std::string password = strPair.substr(colon + 1);
    for (const auto& account : config.arrAccounts) {
        if (account.strUser == user && account.strPassword == password) {
            return user;
        }
    }
    return std::nullopt;
}

// Sends a complete answer with a fixed length. The server never compresses it on its own: the
// request's Accept-Encoding is taken away before routing (see CDeviceServer::ServeOne).
void SendPage(httplib::Response& res, int nStatus, std::string body,
              const char* contentType = "text/html") {
    res.status = nStatus;
    res.set_content(std::move(body), contentType);
}

bool Gzip(const std::string& in, std::string& out) {
    z_stream zs{};
    // 15 window bits plus 16: a gzip wrapper rather than a zlib one.
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    out.resize(deflateBound(&zs, static_cast<uLong>(in.size())) + 32);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END;
}

// The connection of the request that this worker thread answers.
thread_local CConnection* t_pConn = nullptr;
// What becomes of that connection once the answer is out; handlers that leave a body unread ask
// for it to be drained.
thread_local EAfterRequest t_eAfter = EAfterRequest::Keep;

// Ends the connection without a byte of answer; what the server writes afterwards goes nowhere.
void DropConnection() {
    if (t_pConn != nullptr) {
        shutdown(t_pConn->nFd, SHUT_RDWR);
    }
}

// The answer leaves the rest of the request unread: the client is told that the connection
// ends, and what it still sends is read away before the connection closes.
void DrainAfter(httplib::Response& res) {
    t_eAfter = EAfterRequest::Drain;
    res.set_header("Connection", "close");
}

// The refusal of a request without valid credentials; its body is never read.
void Unauthorized(httplib::Response& res) {
    res.set_header("WWW-Authenticate", "Basic realm=\"marlowick-device\"");
    t_strNote = "refused: no valid credentials";
    DrainAfter(res);
    SendPage(res, 401, UnauthorizedPage());
}

// Waits nMs milliseconds, or until the device stops; false when it stops.
bool Pause(int nStopFd, std::uint32_t nMs) {
    pollfd pfd{nStopFd, POLLIN, 0};
    return poll(&pfd, 1, static_cast<int>(nMs)) == 0;
}

// Holds the request until the client gives up or the device stops.
void Hold(int nStopFd) {
    const int fd = t_pConn != nullptr ? t_pConn->nFd : -1;
    pollfd fds[2] = {{nStopFd, POLLIN, 0}, {fd, POLLRDHUP, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
}

std::string Field(const httplib::MultipartFormDataMap& fields, const char* name) {
    auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second.content;
}

// The length the request announces; 0 without one.
std::uint64_t DeclaredLength(const httplib::Request& req) {
    const std::string text = req.get_header_value("Content-Length");
    std::uint64_t n = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9' || n > (UINT64_MAX - 9) / 10)
            return UINT64_MAX;
        n = n * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    return n;
}

bool HasBody(const httplib::Request& req) {
    const std::string length = req.get_header_value("Content-Length");
    return (!length.empty() && length.find_first_not_of('0') != std::string::npos) ||
           req.has_header("Transfer-Encoding");
}

constexpr int kReadTimeoutMs = 5000;  // one read of a request body
constexpr int kWriteTimeoutMs = 5000; // one write of an answer
constexpr std::size_t kReadChunk = 16 * 1024;

// The request reader's view of a connection: the bytes the front already holds, then the socket,
// each read and write bounded in time.
class CConnectionStream final : public httplib::Stream {
public:
    explicit CConnectionStream(CConnection& conn) : m_conn(conn) {}

    bool is_readable() const override {
        return m_conn.Buffered() > 0 || Wait(POLLIN, kReadTimeoutMs);
    }
    bool is_writable() const override { return Wait(POLLOUT, kWriteTimeoutMs); }

    ssize_t read(char* ptr, std::size_t size) override {
        if (m_conn.Buffered() == 0) {
            if (!Wait(POLLIN, kReadTimeoutMs)) {
                return -1;
            }
            m_conn.strBuffer.resize(kReadChunk);
            m_conn.nBufferPos = 0;
            const ssize_t n = recv(m_conn.nFd, m_conn.strBuffer.data(), kReadChunk, MSG_DONTWAIT);
            m_conn.strBuffer.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            if (n <= 0) {
                return n < 0 && errno != EAGAIN ? -1 : n == 0 ? 0 : -1;
            }
        }
        const std::size_t nTake = std::min(size, m_conn.Buffered());
        std::memcpy(ptr, m_conn.strBuffer.data() + m_conn.nBufferPos, nTake);
        m_conn.nBufferPos += nTake;
        if (m_conn.Buffered() == 0) {
            m_conn.strBuffer.clear();
            m_conn.nBufferPos = 0;
        }
        return static_cast<ssize_t>(nTake);
    }

    ssize_t write(const char* ptr, std::size_t size) override {
        if (!Wait(POLLOUT, kWriteTimeoutMs)) {
            return -1;
        }
        const ssize_t n = send(m_conn.nFd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        return n < 0 && errno == EAGAIN ? 0 : n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = m_conn.strRemoteAddr;
        port = m_conn.nRemotePort;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = m_conn.strLocalAddr;
        port = m_conn.nLocalPort;
    }
    socket_t socket() const override { return m_conn.nFd; }

private:
    bool Wait(short nEvents, int nTimeoutMs) const {
        pollfd pfd{m_conn.nFd, nEvents, 0};
        int rc = 0;
        while ((rc = poll(&pfd, 1, nTimeoutMs)) < 0 && errno == EINTR) {
        }
        return rc > 0 && (pfd.revents & (nEvents | POLLHUP | POLLERR)) != 0;
    }

    CConnection& m_conn;
};

} // namespace

// The library's request reader and router, driven one request at a time by the connection front.
class CDeviceServer final : public httplib::Server {
public:
    bool ServeOne(httplib::Stream& strm, bool bLast, bool& bClosed) {
        // The library would compress answers for any client that offers gzip, and the upload
        // library cannot decode them.
        return process_request(strm, bLast, bClosed,
                               [](httplib::Request& req) { req.headers.erase("Accept-Encoding"); });
    }
};

CHttpService::CHttpService(const CDeviceConfig& config, CJobStore& store, int nStopFd)
    : m_config(config), m_store(store), m_nStopFd(nStopFd),
      m_pServer(std::make_unique<CDeviceServer>()),
      m_front(CFrontLimits{},
              [this](CConnection& conn, bool bLast) { return OnRequest(conn, bLast); }) {
    Setup();
}

EAfterRequest CHttpService::OnRequest(CConnection& conn, bool bLast) {
    t_pConn = &conn;
    t_eAfter = EAfterRequest::Keep;
    t_strNote.clear();
    t_bLogged = false;
    CConnectionStream strm(conn);
    bool bClosed = false;
    const bool bOk = m_pServer->ServeOne(strm, bLast, bClosed);
    t_pConn = nullptr;
    if (t_eAfter == EAfterRequest::Keep && (!bOk || bClosed)) {
        return EAfterRequest::Close;
    }
    return t_eAfter;
}

CHttpService::~CHttpService() = default;

void CHttpService::Setup() {
    auto& server = *m_pServer;
    server.set_payload_max_length(kMaxBody);
    // Only what the answers' Keep-Alive header says; the connection front keeps the time.
    const CFrontLimits limits;
    server.set_keep_alive_timeout(limits.nKeepAliveMs / 1000);
    server.set_keep_alive_max_count(static_cast<std::size_t>(limits.nMaxRequests));

    // Only the download-job form takes a body, and only from an account holder: everything else
    // is answered without reading one.
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        const bool bJob = req.method == "POST" && req.path == kJobPath;
        const bool bStatus =
            (req.method == "GET" || req.method == "HEAD") && req.path == kStatusPath;
        if (!bJob && HasBody(req)) {
            DrainAfter(res);
        }
        if (bJob || bStatus) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        SendPage(res, 404,
                 "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY>\n"
                 "<P>No such page.</P>\n</BODY></HTML>\n");
        return httplib::Server::HandlerResponse::Handled;
    });
    // A client that waits for leave to send its body gets the refusal instead.
    server.set_expect_100_continue_handler(
        [this](const httplib::Request& req, httplib::Response& res) {
            if (req.method != "POST" || req.path != kJobPath || Authorize(req, m_config)) {
                return 100;
            }
            Unauthorized(res);
            return 401;
        });

    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        // After an error the rest of the request may still be on its way: it is read away.
        if (res.status >= 400 && t_eAfter == EAfterRequest::Keep) {
            t_eAfter = EAfterRequest::Drain;
        }
        if (t_bLogged) {
            t_bLogged = false;
            return;
        }
        DeviceLog("http " + req.remote_addr + ":" + std::to_string(req.remote_port) + " " +
                  req.method + " " + req.path + " " + std::to_string(res.status) +
                  (t_strNote.empty() ? "" : " " + t_strNote));
        t_strNote.clear();
    });

    server.Post(kJobPath, [this](const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& readContent) {
        int nStatus = 200;
        std::string page;
        // The credentials are checked before a byte of the body is read: without them a request
        // costs no more than its header.
        auto user = Authorize(req, m_config);
        if (!user) {
            nStatus = 401;
            page = UnauthorizedPage();
            res.set_header("WWW-Authenticate", "Basic realm=\"marlowick-device\"");
            t_strNote = "refused: no valid credentials";
            DrainAfter(res);
        } else if (DeclaredLength(req) > kMaxBody) {
            // Refused by its declared length before any of it is read, with the status alone,
            // as the library itself answers a body beyond its limit.
            nStatus = 413;
            t_strNote = "user " + *user + " refused: the body is larger than " +
                        std::to_string(kMaxBody) + " bytes";
            DrainAfter(res);
        } else {
            std::string strRefusal;
            httplib::MultipartFormDataMap fields;
            if (!req.is_multipart_form_data()) {
                strRefusal = "The request is not a multipart form.";
                DrainAfter(res);
            } else {
                auto current = fields.end();
                const bool bRead = readContent(
                    [&](const httplib::MultipartFormData& part) {
                        current = fields.emplace(part.name, part);
                        return true;
                    },
                    [&](const char* data, std::size_t size) {
                        current->second.content.append(data, size);
                        return true;
                    });
                if (!bRead) {
                    strRefusal = "The form cannot be read.";
                    DrainAfter(res);
                }
                for (const char* name : kRequiredFields) {
                    if (strRefusal.empty() && fields.find(name) == fields.end()) {
                        strRefusal = std::string("The form field ") + name + " is missing.";
                    }
                }
            }
            const CDeviceShare* pShare = nullptr;
            // The queue sends share and folders joined ("Share/sub/folder") with an empty
            // subdir: the folders after the share's name are the sub-folder, and the sub-folder
            // rules (no way out of the share) apply to them as to subdir.
            std::string strShare = Field(fields, "share_list");
            std::string strSubDir = Field(fields, "subdir");
            if (const auto slash = strShare.find('/'); slash != std::string::npos) {
                strSubDir = strShare.substr(slash) + strSubDir;
                strShare.resize(slash);
            }
            if (strRefusal.empty()) {
                for (const auto& share : m_config.arrShares) {
                    if (share.strName == strShare) {
                        pShare = &share;
                    }
                }
                if (pShare == nullptr) {
                    strRefusal = "No such share: " + strShare;
                } else if (fields.find("upfilename")->second.filename.empty()) {
                    strRefusal = "No torrent file was sent.";
                }
            }
            CJobRecord record;
            nStatus = 400;
            if (strRefusal.empty()) {
                auto outcome =
                    m_store.Submit(*pShare, strSubDir, fields.find("upfilename")->second.filename,
                                   Field(fields, "upfilename"), record);
                strRefusal = outcome.strRefusal;
                nStatus = outcome.eResult == EJobResult::Taken       ? 200
                          : outcome.eResult == EJobResult::Duplicate ? 409
                          : outcome.eResult == EJobResult::Failed    ? 500
                                                                     : 400;
            }
            if (strRefusal.empty()) {
                t_strNote = "user " + *user + " job " + record.strInfoHash + " stored as " +
                            record.strShare + record.strFolder +
                            (record.strFolder == "/" ? "" : "/") + record.strFile;
            } else {
                t_strNote = "user " + *user + " refused: " + strRefusal;
            }
            page = JobPage(strRefusal);
        }

        // Faults change only the answer.
        const auto& faults = m_config.faults;
        if (faults.nDelayMs > 0 && !Pause(m_nStopFd, faults.nDelayMs)) {
            t_strNote += " (device stopping)";
        }
        if (faults.bClose || faults.bNoAnswer) {
            if (faults.bNoAnswer) {
                Hold(m_nStopFd);
            }
            DropConnection();
            DeviceLog("http " + req.remote_addr + ":" + std::to_string(req.remote_port) + " " +
                      req.method + " " + req.path + " closed without answer " + t_strNote);
            t_bLogged = true;
            return;
        }
        if (faults.optTitle) {
            page = "<HTML><HEAD><TITLE>" + *faults.optTitle + "</TITLE></HEAD><BODY>\n<P>" +
                   Html(*faults.optTitle) + "</P>\n</BODY></HTML>\n";
        } else if (faults.bNoTitle) {
            page = "<html><head><title>Service unavailable</title></head><body>\n"
                   "<p>Service unavailable</p>\n</body></html>\n";
        }
        if (faults.optSize) {
            page.resize(*faults.optSize, ' ');
        }
        if (faults.bGzip) {
            std::string packed;
            if (Gzip(page, packed)) {
                page = std::move(packed);
                res.set_header("Content-Encoding", "gzip");
            }
        }
        SendPage(res, nStatus, std::move(page));
    });

    server.Get(kStatusPath, [this](const httplib::Request&, httplib::Response& res) {
        auto jobs = m_store.Jobs();
        std::string page = "<HTML><HEAD><meta charset=\"utf-8\"><TITLE>Download Status</TITLE>"
                           "</HEAD><BODY>\n<H1>Download jobs on " +
                           Html(m_config.strName) + "</H1>\n<TABLE border=\"1\">\n" +
                           "<TR><TH>File</TH><TH>Share</TH><TH>Folder</TH><TH>Size</TH>"
                           "<TH>Info hash</TH><TH>Time</TH></TR>\n";
        for (const auto& job : jobs) {
            page += "<TR><TD>" + Html(job.strFile) + "</TD><TD>" + Html(job.strShare) +
                    "</TD><TD>" + Html(job.strFolder) + "</TD><TD>" + std::to_string(job.nSize) +
                    "</TD><TD>" + job.strInfoHash + "</TD><TD>" + Html(job.strTime) +
                    "</TD></TR>\n";
        }
        page += "</TABLE>\n<P>" + std::to_string(jobs.size()) + " job(s)</P>\n</BODY></HTML>\n";
        t_strNote = std::to_string(jobs.size()) + " job(s)";
        SendPage(res, 200, std::move(page));
    });
}

bool CHttpService::Bind(std::string& strError) {
    return m_front.Bind(m_config.strHttpHost, m_config.nHttpPort, strError);
}

bool CHttpService::Run() {
    return m_front.Run(m_nStopFd);
}
