// Pennick's rules: "/Y" makes Arbolet the user's .torrent handler and remembers the one it
// replaces, once; "/N" gives the type back to that handler and removes only our own entry, never
// another program's association; portable.
#include "outside/pennick/pennick.h"

#include "outside/dunmore/dunmore.h"
#include "outside/halvery/halvery.h"
#include "platform/debug_output.h"
#include "platform/text.h"

namespace {

constexpr const char* kExtension = ".torrent";

void Log(const std::string& strLine) {
    qvLog("Pennick: %s", strLine.c_str());
    mwDebugOutput("Pennick: " + strLine);
}

CPennickResult Finish(int nExit, const std::string& strLine) {
    Log(strLine);
    return {nExit, "pennick: " + strLine};
}

CPennickResult StoreFailed(const CAssociationStore& store, const std::string& strWhat) {
    return Finish(kPennickStoreFailed, strWhat + ": " + store.ErrorText());
}

std::string Named(const std::string& strId) {
    return strId.empty() ? std::string("no handler") : "\"" + strId + "\"";
}

// The command the system runs for a .torrent file now, as the program's window reads it.
std::string HandlerCommand() {
    CFileAssociationParam param;
    fa_GetFileAssociation(kExtension, &param);
    return param.m_strCommand;
}

bool NamesArbolet(const std::string& strCommand, const std::string& strArbolet) {
    return GetTextOps().ContainsPath(strCommand, strArbolet);
}

CPennickResult SwitchOn(CAssociationStore& store) {
    const std::string strArbolet = store.ArboletPath();
    if (!store.IsRunnable(strArbolet))
        return Finish(kPennickNoArbolet, "no Arbolet to name at " + strArbolet);
    if (!store.InstallOurs(strArbolet))
        return StoreFailed(store, "cannot write our entry " + store.OurId());
    std::string strCurrent;
    if (!store.ReadCurrent(strCurrent))
        return StoreFailed(store, "cannot read the handler of " + std::string(kExtension));
    if (strCurrent != store.OurId()) {
        if (!store.Remember(strCurrent))
            return StoreFailed(store, "cannot remember the handler " + Named(strCurrent));
        Log("replaces " + Named(strCurrent));
    } else {
        // Already ours: what it replaced back then is still what "/N" must give back.
        Log("already the handler; keeps " + Named(store.Remembered().value_or("")));
    }
    if (!store.MakeOursCurrent())
        return StoreFailed(store, "cannot make " + store.OurId() + " the handler");
    store.Announce();

    const std::string strCommand = HandlerCommand();
    if (NamesArbolet(strCommand, strArbolet))
        return Finish(kPennickOk, std::string(kExtension) + " opens with " + strArbolet);
    const std::string strOverrider = store.Overrider();
    if (!strOverrider.empty())
        return Finish(kPennickOverridden,
                      "the user's own choice " + Named(strOverrider) + " for " + kExtension +
                          " is protected and no program may override it; it stays, and our "
                          "setting applies once it is cleared");
    return Finish(kPennickOverridden, std::string("the system still opens ") + kExtension +
                                          " with \"" + strCommand + "\"");
}

CPennickResult SwitchOff(CAssociationStore& store) {
    std::string strCurrent;
    if (!store.ReadCurrent(strCurrent))
        return StoreFailed(store, "cannot read the handler of " + std::string(kExtension));
    const bool bInstalled = store.IsInstalled();
    if (strCurrent == store.OurId()) {
        const std::string strPrevious = store.Remembered().value_or("");
        if (!store.Restore(strPrevious))
            return StoreFailed(store, "cannot give " + std::string(kExtension) + " back to " +
                                          Named(strPrevious));
        Log("gives " + std::string(kExtension) + " back to " + Named(strPrevious));
    } else if (bInstalled) {
        Log("the handler is " + Named(strCurrent) + ", not ours: it stays");
    }
    if (bInstalled && !store.RemoveOurs())
        return StoreFailed(store, "cannot remove our entry " + store.OurId());
    if (!bInstalled && strCurrent != store.OurId())
        return Finish(kPennickOk, "nothing to undo; the handler is " + Named(strCurrent));
    store.Announce();

    const std::string strCommand = HandlerCommand();
    if (NamesArbolet(strCommand, store.ArboletPath()))
        return Finish(kPennickOverridden, std::string("the system still opens ") + kExtension +
                                              " with \"" + strCommand + "\"");
    return Finish(kPennickOk, std::string(kExtension) + " no longer opens with Arbolet");
}

} // namespace

CPennickResult RunPennick(const std::vector<std::string>& arrArgs, CAssociationStore& store) {
    const CTextOps& text = GetTextOps();
    const bool bOn = arrArgs.size() == 1 && text.CompareNoCase(arrArgs[0], "/Y") == 0;
    const bool bOff = arrArgs.size() == 1 && text.CompareNoCase(arrArgs[0], "/N") == 0;
    if (!bOn && !bOff)
        return Finish(kPennickUsage, "usage: pennick /Y (make Arbolet the .torrent handler) or "
                                     "/N (give it back)");
    Log(arrArgs[0]);
    if (!store.Lock())
        return Finish(kPennickBusy, "another run of Pennick holds the lock: " + store.ErrorText());
    return bOn ? SwitchOn(store) : SwitchOff(store);
}
