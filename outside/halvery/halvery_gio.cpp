// Halvery's lookup through GIO: the extension's content type by GIO's guess, then the type's
// default application and its command line; Linux backend.
#include "outside/halvery/halvery_backend.h"

#include <gio/gio.h>

#include <memory>

namespace {

struct CGFree {
    void operator()(void* p) const { g_free(p); }
};
using CGString = std::unique_ptr<char, CGFree>;

struct CGUnref {
    void operator()(void* p) const { g_object_unref(p); }
};
using CGAppInfo = std::unique_ptr<GAppInfo, CGUnref>;

std::string Text(const char* psz) {
    return psz ? std::string(psz) : std::string();
}

} // namespace

bool HalveryLookUp(const std::string& strExtension, CFileAssociationParam& param) {
    if (strExtension.empty() || strExtension == ".") {
        param.m_strError = "no extension given";
        return false;
    }
    // A name with the extension is all GIO needs to map it through the MIME database's globs.
    const std::string strName =
        "file" + (strExtension.front() == '.' ? strExtension : "." + strExtension);
    gboolean bUncertain = FALSE;
    CGString pType(g_content_type_guess(strName.c_str(), nullptr, 0, &bUncertain));
    if (!pType || g_content_type_is_unknown(pType.get())) {
        param.m_strError = "no content type is known for " + strExtension;
        return false;
    }
    param.m_strContentType = Text(pType.get());
    CGString pMime(g_content_type_get_mime_type(pType.get()));
    if (pMime)
        param.m_strContentType = pMime.get();

    CGAppInfo pInfo(g_app_info_get_default_for_type(pType.get(), FALSE));
    if (!pInfo) {
        param.m_strError = "no default application for " + param.m_strContentType;
        return false;
    }
    param.m_strProgId = Text(g_app_info_get_id(pInfo.get()));
    param.m_strCommand = Text(g_app_info_get_commandline(pInfo.get()));
    param.m_strFriendlyName = Text(g_app_info_get_display_name(pInfo.get()));
    if (param.m_strCommand.empty()) {
        param.m_strError =
            "the default application for " + param.m_strContentType + " has no command line";
        return false;
    }
    param.m_nSource = kHalverySourceSystem;
    return true;
}
