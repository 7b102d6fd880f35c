// The program's association lookup over the library Halvery (fa_GetFileAssociation); portable.
#include "app/app_services.h"

#include "outside/halvery/halvery.h"

namespace {

class CHalveryLookup final : public CAssociationLookup {
public:
    std::string GetHandlerCommand(const std::string& strExtension) override {
        // The record is made and destroyed by the library's own constructor and destructor.
        CFileAssociationParam param;
        fa_GetFileAssociation(strExtension, &param);
        return param.m_strCommand;
    }
};

} // namespace

std::shared_ptr<CAssociationLookup> CreateHalveryLookup() {
    return std::make_shared<CHalveryLookup>();
}
