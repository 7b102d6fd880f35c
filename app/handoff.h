// Handing .torrent paths to the running program's transfer queue window, as Arbolet (the program
// the .torrent association names) and a second start of the program do; portable.
#pragma once

#include "platform/instance.h"
#include "platform/ui/remote_message.h"

#include <memory>
#include <string>
#include <vector>

class CRegistry;

// What the hand-off reaches: the queue window, the hand-off value, the program, the user.
class CHandOffServices {
public:
    virtual ~CHandOffServices() = default;
    // The per-user lock that keeps two hand-offs from interleaving; waits for it.
    virtual std::unique_ptr<CInstanceMutex> Lock() = 0;
    // A window captioned "Transfer" runs.
    virtual bool QueueWindowRuns() = 0;
    // Writes the path into "NewItem4Transfer"; false when it could not be stored.
    virtual bool WriteHandOff(const std::string& strPath) = 0;
    // WM_UPDATE_LIST to that window, waiting for its handler's answer.
    virtual CRemoteResult SendUpdate() = 0;
    // The program runs (its single-instance guard is held).
    virtual bool ProgramRuns() = 0;
    // Starts the program with "/Q" and the path; false when it could not be started.
    virtual bool StartQueueProgram(const std::string& strPath) = 0;
    virtual void Pause(unsigned nMs) = 0;
    // Tells the user in a message box.
    virtual void Report(const std::string& strText) = 0;
};

struct CHandOffLimits {
    unsigned nPollMs = 100;        // how often a waiting hand-off looks again
    unsigned nStartWaitMs = 30000; // a started program must show itself running within this
    int nAttempts = 5;             // a window that closes under a path gets it this often again
};

// Hands every path over, one at a time, in order, under the lock: to the queue window when one
// runs; after waiting for one while the program runs without it; to a program started with "/Q"
// and the first path when none runs. The paths that could not be handed over are reported to the
// user in one message box naming them, and returned.
std::vector<std::string> fnHandOverPaths(const std::vector<std::string>& arrPaths,
                                         CHandOffServices& services,
                                         const CHandOffLimits& limits = {});

// The real services: the registry's settings key, the messages between processes, the program's
// single-instance guard, and strProgram (the program to start) with the given report.
std::shared_ptr<CHandOffServices> CreateRealHandOff(std::shared_ptr<CRegistry> pRegistry,
                                                    std::string strSettingsKey,
                                                    std::string strProgram);
