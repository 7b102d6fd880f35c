// One HTTP GET of a whole page over libcurl; Linux backend of platform/page_fetch.h.
#include "platform/page_fetch.h"

#include <curl/curl.h>

#include <memory>

namespace {

struct CBody {
    std::string strText;
    bool bTooLarge = false;
};

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<CBody*>(user);
    const size_t n = size * count;
    if (body->strText.size() + n > kMaxPageBytes) {
        body->bTooLarge = true;
        return 0; // ends the transfer
    }
    body->strText.append(data, n);
    return n;
}

} // namespace

bool fnFetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                 std::string& strError) {
    strBody.clear();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    if (!easy) {
        strError = "the HTTP client could not be started";
        return false;
    }
    CURL* e = easy.get();
    CBody body;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(e, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "marlowick-cli");
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(nTimeoutMs));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(nTimeoutMs));
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, ""); // whatever the client can decode
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode rc = curl_easy_perform(e);
    if (body.bTooLarge) {
        strError = "the page is larger than " + std::to_string(kMaxPageBytes) + " bytes";
        return false;
    }
    if (rc != CURLE_OK) {
        strError = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(rc);
        return false;
    }
    long nStatus = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &nStatus);
    if (nStatus != 200) {
        strError = "the device answered with HTTP status " + std::to_string(nStatus);
        return false;
    }
    strBody = std::move(body.strText);
    return true;
}
