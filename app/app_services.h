// Everything the program's windows reach outside themselves, installed once by the program's entry;
// portable.
#pragma once

#include "app/handoff.h"
#include "app/job_services.h"
#include "app/settings.h"
#include "platform/registry.h"
#include "platform/shell.h"

#include <memory>
#include <string>

class CDeviceList;

// The handler of a file extension for this user, as the file-association library reports it.
class CAssociationLookup {
public:
    virtual ~CAssociationLookup() = default;
    // The full command that opens such a file (its program's path in it); empty when none.
    virtual std::string GetHandlerCommand(const std::string& strExtension) = 0;
};

// The association library Halvery behind the lookup (fa_GetFileAssociation); built with it.
std::shared_ptr<CAssociationLookup> CreateHalveryLookup();

// The seams of the program: a real one each in the program, a double each in tests.
struct CAppServices {
    std::shared_ptr<CJobServices> pJobs;  // searches, account checks, uploads
    std::shared_ptr<CRegistry> pRegistry; // where the settings store keeps them
    std::string strSettingsKey = kSettingsKey;
    std::shared_ptr<CShell> pShell;                   // helper programs, network paths, own path
    std::shared_ptr<CAssociationLookup> pAssociation; // the .torrent association
    CDeviceList* pDeviceList = nullptr;               // the program's device list
    std::shared_ptr<CHandOffServices> pHandOff;       // a second start hands its path over
};
