// Network paths in the Windows form and the desktop's URIs for them; Linux platform code.
#include "platform/gtk/smb_path.h"

#include <glib.h>

#include <memory>
#include <vector>

namespace {

struct CGFree {
    void operator()(void* p) const { g_free(p); }
};
using CGString = std::unique_ptr<char, CGFree>;

std::string Escape(const std::string& strPart) {
    const CGString p(g_uri_escape_string(strPart.c_str(), nullptr, FALSE));
    return p ? std::string(p.get()) : std::string();
}

// One name of the path decoded; nothing when it hides a separator or a NUL.
std::optional<std::string> Unescape(const std::string& strPart) {
    const CGString p(g_uri_unescape_string(strPart.c_str(), "/\\"));
    if (!p)
        return std::nullopt;
    return std::string(p.get());
}

std::vector<std::string> Split(const std::string& str, auto isSeparator) {
    std::vector<std::string> parts;
    std::string cur;
    for (char ch : str) {
        if (isSeparator(ch)) {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

} // namespace

std::optional<std::string> SmbUriFromNetworkPath(const std::string& strPath) {
    const auto isSep = [](char ch) { return ch == '\\' || ch == '/'; };
    if (strPath.size() < 3 || !isSep(strPath[0]) || !isSep(strPath[1]) || isSep(strPath[2]))
        return std::nullopt;
    const std::vector<std::string> parts = Split(strPath.substr(2), isSep);
    if (parts.empty())
        return std::nullopt;
    std::string strUri = "smb://" + Escape(parts[0]) + "/";
    for (std::size_t i = 1; i < parts.size(); ++i)
        strUri += (i > 1 ? "/" : "") + Escape(parts[i]);
    return strUri;
}

std::optional<std::string> FolderPathFromUri(const std::string& strUri) {
    const CGString scheme(g_uri_parse_scheme(strUri.c_str()));
    if (!scheme)
        return std::nullopt;
    if (g_ascii_strcasecmp(scheme.get(), "file") == 0) {
        char* pHost = nullptr;
        const CGString path(g_filename_from_uri(strUri.c_str(), &pHost, nullptr));
        const CGString host(pHost);
        if (!path || (host && g_ascii_strcasecmp(host.get(), "localhost") != 0))
            return std::nullopt;
        return std::string(path.get());
    }
    if (g_ascii_strcasecmp(scheme.get(), "smb") != 0)
        return std::nullopt;
    char* pHost = nullptr;
    char* pPath = nullptr;
    if (!g_uri_split(strUri.c_str(), G_URI_FLAGS_ENCODED, nullptr, nullptr, &pHost, nullptr, &pPath,
                     nullptr, nullptr, nullptr))
        return std::nullopt;
    const CGString host(pHost);
    const CGString path(pPath);
    const auto strHost = host ? Unescape(host.get()) : std::nullopt;
    if (!strHost || strHost->empty())
        return std::nullopt;
    std::string strFolder = "\\\\" + *strHost;
    for (const auto& part : Split(path ? path.get() : "", [](char ch) { return ch == '/'; })) {
        const auto strName = Unescape(part);
        if (!strName)
            return std::nullopt;
        strFolder += "\\" + *strName;
    }
    return strFolder;
}
