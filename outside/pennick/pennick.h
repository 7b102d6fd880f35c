// Pennick, the program that switches the user's .torrent handler to Arbolet ("/Y") and back
// ("/N"): its rules over a store of associations; portable interface, one store per platform.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where the system keeps the user's handler of the .torrent type, and our own entry in it (a
// ProgID on Windows, a desktop entry on Linux). Our entry also keeps the handler it replaced.
class CAssociationStore {
public:
    virtual ~CAssociationStore() = default;
    // Takes the user's Pennick lock for the store's life, so that runs started in quick
    // succession (Set pressed twice) change the association one after another; false when
    // another run held it too long.
    virtual bool Lock() = 0;
    // The name of our entry, as the store names handlers.
    virtual std::string OurId() const = 0;
    // Where Arbolet lies: beside this program.
    virtual std::string ArboletPath() const = 0;
    virtual bool IsRunnable(const std::string& strProgram) const = 0;
    virtual bool IsInstalled() = 0;
    // What our entry remembers: the replaced handler, "" when there was none; nothing when it
    // remembers nothing (no entry).
    virtual std::optional<std::string> Remembered() = 0;
    // Writes or refreshes our entry, which opens files with Arbolet; keeps what it remembers.
    virtual bool InstallOurs(const std::string& strArbolet) = 0;
    // The handler that the user's setting names now; "" when none.
    virtual bool ReadCurrent(std::string& strId) = 0;
    virtual bool Remember(const std::string& strPrevious) = 0;
    virtual bool MakeOursCurrent() = 0;
    // Gives the type back to the handler named ("" : to none, as before us).
    virtual bool Restore(const std::string& strPrevious) = 0;
    virtual bool RemoveOurs() = 0;
    // Tells the desktop that associations changed.
    virtual void Announce() = 0;
    // A per-user choice that the system follows before the setting we write, and that programs
    // may not override; "" when none stands in our way.
    virtual std::string Overrider() = 0;
    // What went wrong in the last failing call.
    virtual std::string ErrorText() const = 0;
};

std::unique_ptr<CAssociationStore> CreateAssociationStore();

// How a run ended; kPennickOk and the rest are its exit codes.
enum : int {
    kPennickOk = 0,
    kPennickUsage = 1,
    kPennickStoreFailed = 2,
    kPennickOverridden = 3, // written, but the system opens .torrent with something else
    kPennickNoArbolet = 4,
    kPennickBusy = 5, // another run held the lock too long
};

struct CPennickResult {
    int m_nExit = kPennickOk;
    std::string m_strLine; // the one line for standard error
};

// Runs Pennick with its arguments (without the program's name); logs every step.
CPennickResult RunPennick(const std::vector<std::string>& arrArgs, CAssociationStore& store);
