// Talks HTTP to the reference device for tests: curl runs, raw requests, answer parsing; Linux test
// support.
#pragma once

#include "tests/device/device_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <map>
#include <optional>

namespace mwtest {

// One answer: headers (status line included) and body, as a client saw them.
struct CHttpAnswer {
    int nCurlExit = -1; // curl's exit code; 0 for raw requests that got an answer
    int nStatus = 0;
    std::string strHeaders;
    std::string strBody;

    bool HasHeader(const std::string& line) const {
        return strHeaders.find("\r\n" + line) != std::string::npos;
    }
};

// Splits "headers CR LF CR LF body", skipping interim 100 answers.
inline void SplitAnswer(const std::string& raw, CHttpAnswer& answer) {
    std::size_t pos = 0;
    for (;;) {
        auto end = raw.find("\r\n\r\n", pos);
        if (end == std::string::npos) {
            answer.strBody = raw.substr(pos);
            return;
        }
        std::string head = raw.substr(pos, end + 2 - pos);
        pos = end + 4;
        if (head.rfind("HTTP/1.1 100", 0) == 0) {
            continue;
        }
        answer.strHeaders = head;
        answer.strBody = raw.substr(pos);
        std::sscanf(head.c_str(), "HTTP/%*s %d", &answer.nStatus);
        return;
    }
}

// The value of the page's hidden "message" input, or nothing when the page has none.
inline std::optional<std::string> MessageValue(const std::string& page) {
    const std::string marker = "<input type=\"hidden\" name=\"message\" value=\"";
    auto pos = page.find(marker);
    if (pos == std::string::npos) {
        return std::nullopt;
    }
    pos += marker.size();
    return page.substr(pos, page.find('"', pos) - pos);
}

// The form fields the upload sends, as a standard client would send them.
struct CJobForm {
    std::map<std::string, std::string> fields = {{"proto", "bt"},
                                                 {"torrent", "on"},
                                                 {"share_list", "public"},
                                                 {"subdir", "/movies"},
                                                 {"this_file", "down_job.htm"},
                                                 {"todo", "save"},
                                                 {"h_share_list", "public"},
                                                 {"h_proto", "1"},
                                                 {"h_torrent", "local"},
                                                 {"finish", ""}};
    std::string strFile; // path of the file sent as upfilename; none when empty
    std::string strUser = "admin";
    std::string strPassword = "secret";
    bool bCredentials = true;
};

// Runs curl with the given arguments against url, offering gzip like the upload does.
inline CHttpAnswer Curl(const std::string& url, std::vector<std::string> arrArgs) {
    std::vector<std::string> args = {
        "curl", "-sS",    "--max-time", "20", "-D",
        "-",    "-o",     "-",          "-H", "Accept-Encoding: gzip, deflate",
        "-H",   "Expect:"};
    args.insert(args.end(), arrArgs.begin(), arrArgs.end());
    args.push_back(url);
    auto run = RunProgram(args, 30000);
    CHttpAnswer answer;
    answer.nCurlExit = run.nExit;
    SplitAnswer(run.strOut, answer);
    return answer;
}

inline CHttpAnswer PostForm(const std::string& url, const CJobForm& form) {
    std::vector<std::string> args;
    if (form.bCredentials) {
        args.insert(args.end(), {"-u", form.strUser + ":" + form.strPassword});
    }
    for (const auto& [name, value] : form.fields) {
        args.insert(args.end(), {"--form-string", name + "=" + value});
    }
    if (!form.strFile.empty()) {
        args.insert(args.end(), {"-F", "upfilename=@" + form.strFile});
    }
    return Curl(url, args);
}

// Sends bytes as they are over a fresh connection and reads until the device closes it or
// nTimeoutMs pass.
inline CHttpAnswer RawRequest(std::uint16_t port, const std::string& request,
                              int nTimeoutMs = 10000) {
    CHttpAnswer answer;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{nTimeoutMs / 1000, (nTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return answer;
    }
    std::size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    // Read until the answer is complete by its Content-Length (the connection may be kept
    // open), or until the device closes.
    std::string raw;
    char buf[65536];
    ssize_t n = 0;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) {
        raw.append(buf, static_cast<std::size_t>(n));
        CHttpAnswer partial;
        SplitAnswer(raw, partial);
        auto pos = partial.strHeaders.find("\r\nContent-Length: ");
        if (pos != std::string::npos &&
            partial.strBody.size() >= std::stoul(partial.strHeaders.substr(pos + 18))) {
            break;
        }
    }
    close(fd);
    answer.nCurlExit = raw.empty() ? -1 : 0;
    SplitAnswer(raw, answer);
    return answer;
}

} // namespace mwtest
