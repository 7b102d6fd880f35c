// One HTTP GET of a whole page over WinINet; Windows backend of platform/page_fetch.h.
#include "platform/page_fetch.h"

#include "platform/system.h"

#include <windows.h>
#include <wininet.h>

namespace {

struct CInternetHandle {
    HINTERNET h = nullptr;
    ~CInternetHandle() {
        if (h)
            InternetCloseHandle(h);
    }
};

std::string LastError(const char* what) {
    return std::string(what) + ": " + GetLastErrorText();
}

} // namespace

bool fnFetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                 std::string& strError) {
    strBody.clear();
    CInternetHandle session;
    session.h = InternetOpenA("marlowick-cli", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session.h) {
        strError = LastError("the HTTP client could not be started");
        return false;
    }
    DWORD ms = nTimeoutMs;
    InternetSetOptionA(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(session.h, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
    CInternetHandle request;
    request.h = InternetOpenUrlA(session.h, strUrl.c_str(), nullptr, 0,
                                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                     INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT,
                                 0);
    if (!request.h) {
        strError = LastError("the page could not be requested");
        return false;
    }
    DWORD nStatus = 0;
    DWORD nSize = sizeof nStatus;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &nStatus,
                        &nSize, nullptr)) {
        strError = LastError("the answer has no status");
        return false;
    }
    if (nStatus != 200) {
        strError = "the device answered with HTTP status " + std::to_string(nStatus);
        return false;
    }
    std::string body;
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.h, buffer, sizeof buffer, &got)) {
            strError = LastError("the page could not be read");
            return false;
        }
        if (got == 0)
            break;
        if (body.size() + got > kMaxPageBytes) {
            strError = "the page is larger than " + std::to_string(kMaxPageBytes) + " bytes";
            return false;
        }
        body.append(buffer, got);
    }
    strBody = std::move(body);
    return true;
}
