// Public interface of the file-association library Halvery: what opens a file extension for this
// user; portable.
#pragma once

#include "platform/export.h"

#include <string>

#if defined(HALVERY_BUILDING)
#define HALVERY_API MW_DLL_EXPORT
#else
#define HALVERY_API
#endif

// What fa_GetFileAssociation fills. Made and destroyed by the caller through the library's own
// constructor and destructor.
class HALVERY_API CFileAssociationParam {
public:
    CFileAssociationParam();
    virtual ~CFileAssociationParam();

    std::string m_strExtension;   // the extension asked for, as given (".torrent")
    std::string m_strContentType; // its content (MIME) type, where the system names one
    std::string m_strProgId;      // the handler's name: a ProgID, or a desktop entry's id
    std::string m_strCommand;     // the full command that opens such a file, program path included
    std::string m_strFriendlyName;
    int m_nSource = 0; // where the answer came from: one of the kHalverySource values
    std::string m_strError;
};

// Where an answer came from (CFileAssociationParam::m_nSource).
enum : int {
    kHalverySourceNone = 0,   // no handler found
    kHalverySourceSystem = 1, // the system's own query (AssocQueryStringA; GIO's default app)
    // The per-user classes read directly: Wine's class root leaves HKCU\Software\Classes out,
    // so its query misses what a user's programs registered there.
    kHalverySourceUserClasses = 2,
};

// Fills param with the handler of the extension for this user; non-zero when one was found. A
// record left as constructed (empty texts) means no handler.
HALVERY_API int MW_CDECL fa_GetFileAssociation(std::string strExtension,
                                               CFileAssociationParam* param);
