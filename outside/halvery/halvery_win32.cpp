// Halvery's lookup through the shell's association query (AssocQueryStringA, the open verb), with
// the per-user classes read directly where the system's query does not see them; Windows backend.
#include "outside/halvery/halvery_backend.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <vector>

namespace {

// One text of the association; empty when the system has none.
std::string Query(ASSOCSTR kind, const std::string& strExtension, const char* pszVerb,
                  HRESULT* pResult = nullptr) {
    DWORD cch = 0;
    HRESULT hr =
        AssocQueryStringA(ASSOCF_NOTRUNCATE, kind, strExtension.c_str(), pszVerb, nullptr, &cch);
    std::string strOut;
    if ((hr == S_FALSE || SUCCEEDED(hr)) && cch > 0) {
        std::vector<char> buffer(cch + 1, '\0');
        DWORD cchBuffer = static_cast<DWORD>(buffer.size());
        hr = AssocQueryStringA(ASSOCF_NOTRUNCATE, kind, strExtension.c_str(), pszVerb,
                               buffer.data(), &cchBuffer);
        if (SUCCEEDED(hr))
            strOut = buffer.data();
    } else if (SUCCEEDED(hr)) {
        hr = HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION);
    }
    if (pResult)
        *pResult = hr;
    return strOut;
}

// A text value (expanded where it holds environment variables); empty when absent.
std::string RegText(HKEY hRoot, const std::string& strKey, const char* pszValue) {
    DWORD cb = 0;
    if (RegGetValueA(hRoot, strKey.c_str(), pszValue, RRF_RT_REG_SZ, nullptr, nullptr, &cb) !=
            ERROR_SUCCESS ||
        cb == 0)
        return {};
    std::vector<char> buffer(cb + 1, '\0');
    DWORD cbBuffer = static_cast<DWORD>(buffer.size());
    if (RegGetValueA(hRoot, strKey.c_str(), pszValue, RRF_RT_REG_SZ, nullptr, buffer.data(),
                     &cbBuffer) != ERROR_SUCCESS)
        return {};
    return buffer.data();
}

// The class the extension names for this user: the user's protected choice first, then the
// user's classes. (ASSOCSTR_PROGID would say it, but only from Windows 10 on.)
std::string UserProgId(const std::string& strExtension) {
    std::string strProgId = RegText(HKEY_CURRENT_USER,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                    "FileExts\\" +
                                        strExtension + "\\UserChoice",
                                    "ProgId");
    if (strProgId.empty())
        strProgId = RegText(HKEY_CURRENT_USER, "Software\\Classes\\" + strExtension, nullptr);
    return strProgId;
}

// The per-user answer, as Windows merges it: the user's class, its open command from the user's
// classes, else from the machine's.
bool ReadUserClasses(const std::string& strExtension, CFileAssociationParam& param) {
    const std::string strProgId = UserProgId(strExtension);
    if (strProgId.empty())
        return false;
    const std::string strCommandKey = strProgId + "\\shell\\open\\command";
    std::string strCommand =
        RegText(HKEY_CURRENT_USER, "Software\\Classes\\" + strCommandKey, nullptr);
    if (strCommand.empty())
        strCommand = RegText(HKEY_CLASSES_ROOT, strCommandKey, nullptr);
    if (strCommand.empty())
        return false;
    param.m_strProgId = strProgId;
    param.m_strCommand = strCommand;
    param.m_strFriendlyName =
        RegText(HKEY_CURRENT_USER, "Software\\Classes\\" + strProgId, nullptr);
    param.m_strContentType =
        RegText(HKEY_CURRENT_USER, "Software\\Classes\\" + strExtension, "Content Type");
    param.m_nSource = kHalverySourceUserClasses;
    return true;
}

} // namespace

bool HalveryLookUp(const std::string& strExtension, CFileAssociationParam& param) {
    if (strExtension.size() < 2 || strExtension.front() != '.') {
        param.m_strError = "an extension starts with a dot: \"" + strExtension + "\"";
        return false;
    }
    HRESULT hr = S_OK;
    const std::string strCommand = Query(ASSOCSTR_COMMAND, strExtension, "open", &hr);
    if (!strCommand.empty()) {
        param.m_strCommand = strCommand;
        param.m_strProgId = UserProgId(strExtension);
        if (param.m_strProgId.empty())
            param.m_strProgId = RegText(HKEY_CLASSES_ROOT, strExtension, nullptr);
        param.m_strFriendlyName = Query(ASSOCSTR_FRIENDLYAPPNAME, strExtension, "open");
        param.m_strContentType = Query(ASSOCSTR_CONTENTTYPE, strExtension, nullptr);
        param.m_nSource = kHalverySourceSystem;
        return true;
    }
    // On Windows the query already holds the per-user classes, so this finds nothing new there;
    // under Wine it is the only way to see them.
    if (ReadUserClasses(strExtension, param))
        return true;
    char szCode[16];
    snprintf(szCode, sizeof szCode, "0x%08lX", static_cast<unsigned long>(hr));
    param.m_strError = "no handler for " + strExtension + " (" + szCode + ")";
    return false;
}
