// Arbolet, the program the .torrent association names: hands the files it is given to the
// running program's transfer queue, or starts the program with its queue; portable.
#include "app/handoff.h"
#include "app/program_paths.h"
#include "app/settings.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/ui/ui_backend.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arrPaths;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && *argv[i])
            arrPaths.emplace_back(argv[i]);
    if (arrPaths.empty()) {
        std::fprintf(stderr, "usage: arbolet FILE.torrent...\n"
                             "Hands the files to the transfer queue of the running Marlowick, or "
                             "starts it with its queue.\n");
        return 2;
    }
    // For the message box that names a file that could not be handed over.
    const auto pUi = CreatePlatformUi();
    SetUiBackend(pUi.get());
    const auto pHandOff =
        CreateRealHandOff(std::shared_ptr<CRegistry>(OpenUserRegistry()), kSettingsKey,
                          SiblingProgram(GetModulePath(), "Marlowick"));
    const bool bAll = fnHandOverPaths(arrPaths, *pHandOff).empty();
    SetUiBackend(nullptr);
    return bAll ? 0 : 1;
}
