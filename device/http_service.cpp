// The device's web services: the download-job form and the status page; Linux platform code.
#include "device/http_service.h"

#include "device/log.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char kJobPath[] = "/Down/download_job.cgi";
const char kStatusPath[] = "/Down/download_ui.cgi";
// The fields the upload always sends; a form without any of them is refused.
const char* const kRequiredFields[] = {"proto",   "torrent",   "upfilename", "share_list",
                                       "subdir",  "this_file", "todo",       "h_share_list",
                                       "h_proto", "h_torrent", "finish"};
constexpr std::size_t kMaxBody = 32 * 1024 * 1024;
constexpr std::size_t kThreads = 16;

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

// Sends a complete answer with a fixed length. A content provider keeps the server from
// compressing the answer on its own, which it would otherwise do for any client offering gzip.
void SendPage(httplib::Response& res, int nStatus, std::string body,
              const char* contentType = "text/html") {
    res.status = nStatus;
    auto pBody = std::make_shared<std::string>(std::move(body));
    res.set_content_provider(
        pBody->size(), contentType,
        [pBody](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(pBody->data() + offset, length);
        });
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

// The kernel's text for an IPv4 endpoint in /proc/net/tcp: the address as its four bytes in
// memory order, then the port, both in upper-case hex.
std::string ProcEndpoint(const std::string& addr, int port) {
    in_addr a{};
    inet_pton(AF_INET, addr.c_str(), &a);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X:%04X", static_cast<unsigned>(a.s_addr),
                  static_cast<unsigned>(port));
    return buf;
}

// The server keeps the connection's socket to itself; find it so that a fault can end the
// connection without an answer. The socket's inode comes from the kernel's table of TCP
// connections by the two endpoints, the descriptor from the names of our open descriptors. No
// descriptor but the one found is touched, since other threads open and close theirs meanwhile.
int FindConnectionSocket(const httplib::Request& req) {
    const std::string local = ProcEndpoint(req.local_addr, req.local_port);
    const std::string remote = ProcEndpoint(req.remote_addr, req.remote_port);
    std::ifstream table("/proc/self/net/tcp");
    std::string line;
    std::string inode;
    while (inode.empty() && std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, loc, rem, state, queues, timer, retransmits, uid, timeout, node;
        fields >> slot >> loc >> rem >> state >> queues >> timer >> retransmits >> uid >> timeout >>
            node;
        if (loc == local && rem == remote) {
            inode = node;
        }
    }
    if (inode.empty()) {
        return -1;
    }
    const std::string target = "socket:[" + inode + "]";
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int found = -1;
    while (dirent* entry = readdir(dir)) {
        char link[64] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
        if (n > 0 && target == std::string(link, static_cast<std::size_t>(n))) {
            found = std::atoi(entry->d_name);
            break;
        }
    }
    closedir(dir);
    return found;
}

// Ends the connection without a byte of answer; what the server writes afterwards goes nowhere.
void DropConnection(const httplib::Request& req) {
    int fd = FindConnectionSocket(req);
    if (fd >= 0) {
        shutdown(fd, SHUT_RDWR);
    }
}

// Waits nMs milliseconds, or until the device stops; false when it stops.
bool Pause(int nStopFd, std::uint32_t nMs) {
    pollfd pfd{nStopFd, POLLIN, 0};
    return poll(&pfd, 1, static_cast<int>(nMs)) == 0;
}

// Holds the request until the client gives up or the device stops.
void Hold(const httplib::Request& req, int nStopFd) {
    int fd = FindConnectionSocket(req);
    pollfd fds[2] = {{nStopFd, POLLIN, 0}, {fd, POLLRDHUP, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
}

std::string Field(const httplib::Request& req, const char* name) {
    return req.get_file_value(name).content;
}

} // namespace

CHttpService::CHttpService(const CDeviceConfig& config, CJobStore& store, int nStopFd)
    : m_config(config), m_store(store), m_nStopFd(nStopFd),
      m_pServer(std::make_unique<httplib::Server>()) {
    Setup();
}

CHttpService::~CHttpService() = default;

void CHttpService::Setup() {
    auto& server = *m_pServer;
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_payload_max_length(kMaxBody);
    server.set_keep_alive_timeout(2);
    // The library's default also sets SO_REUSEPORT, which lets a second device bind the same
    // port without an error; a busy port must be reported instead.
    server.set_socket_options([](int sock) {
        int one = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    });

    server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        t_strNote.clear();
        t_bLogged = false;
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        if (t_bLogged) {
            t_bLogged = false;
            return;
        }
        DeviceLog("http " + req.remote_addr + ":" + std::to_string(req.remote_port) + " " +
                  req.method + " " + req.path + " " + std::to_string(res.status) +
                  (t_strNote.empty() ? "" : " " + t_strNote));
        t_strNote.clear();
    });

    server.Post(kJobPath, [this](const httplib::Request& req, httplib::Response& res) {
        int nStatus = 200;
        std::string page;
        auto user = Authorize(req, m_config);
        if (!user) {
            nStatus = 401;
            page = UnauthorizedPage();
            res.set_header("WWW-Authenticate", "Basic realm=\"marlowick-device\"");
            t_strNote = "refused: no valid credentials";
        } else {
            std::string strRefusal;
            if (!req.is_multipart_form_data()) {
                strRefusal = "The request is not a multipart form.";
            } else {
                for (const char* name : kRequiredFields) {
                    if (strRefusal.empty() && !req.has_file(name)) {
                        strRefusal = std::string("The form field ") + name + " is missing.";
                    }
                }
            }
            const CDeviceShare* pShare = nullptr;
            if (strRefusal.empty()) {
                const std::string strShare = Field(req, "share_list");
                for (const auto& share : m_config.arrShares) {
                    if (share.strName == strShare) {
                        pShare = &share;
                    }
                }
                if (pShare == nullptr) {
                    strRefusal = "No such share: " + strShare;
                } else if (req.get_file_value("upfilename").filename.empty()) {
                    strRefusal = "No torrent file was sent.";
                }
            }
            CJobRecord record;
            nStatus = 400;
            if (strRefusal.empty()) {
                auto outcome = m_store.Submit(*pShare, Field(req, "subdir"),
                                              req.get_file_value("upfilename").filename,
                                              Field(req, "upfilename"), record);
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
                Hold(req, m_nStopFd);
            }
            DropConnection(req);
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
    auto& server = *m_pServer;
    bool bOk = false;
    if (m_config.nHttpPort == 0) {
        int port = server.bind_to_any_port(m_config.strHttpHost);
        bOk = port > 0;
        m_nPort = static_cast<std::uint16_t>(bOk ? port : 0);
    } else {
        bOk = server.bind_to_port(m_config.strHttpHost, m_config.nHttpPort);
        m_nPort = m_config.nHttpPort;
    }
    if (!bOk) {
        strError = "http " + m_config.strHttpHost + ":" + std::to_string(m_config.nHttpPort) +
                   ": cannot listen (" + ErrnoText(errno) + ")";
    }
    return bOk;
}

bool CHttpService::Run() {
    return m_pServer->listen_after_bind();
}

void CHttpService::Stop() {
    m_pServer->stop();
}
