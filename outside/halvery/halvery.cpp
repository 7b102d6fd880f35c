// The file-association library Halvery: the record and the exported query around a platform
// backend; portable.
#include "outside/halvery/halvery.h"
#include "outside/halvery/halvery_backend.h"

#include <exception>

CFileAssociationParam::CFileAssociationParam() = default;
CFileAssociationParam::~CFileAssociationParam() = default;

int MW_CDECL fa_GetFileAssociation(std::string strExtension, CFileAssociationParam* param) {
    if (!param)
        return 0;
    try {
        CFileAssociationParam found;
        found.m_strExtension = strExtension;
        if (!HalveryLookUp(strExtension, found)) {
            // The caller reads the command only: a failure leaves it empty, with the reason.
            CFileAssociationParam empty;
            empty.m_strExtension = strExtension;
            empty.m_strError = found.m_strError;
            *param = empty;
            return 0;
        }
        *param = found;
        return 1;
    } catch (const std::exception& e) {
        // Nothing is thrown across the library's boundary.
        param->m_strError = e.what();
    } catch (...) {
        param->m_strError = "unexpected failure";
    }
    return 0;
}
