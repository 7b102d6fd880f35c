// The program marlowick on Linux: the GTK desktop and the real seams under the portable start-up;
// Linux platform code.
#include "app/command_line.h"
#include "app/marlowick_app.h"
#include "app/program_paths.h"
#include "discovery/device_list.h"
#include "platform/gtk/gtk_ui.h"
#include "platform/process.h"
#include "platform/shell.h"

#include <glib.h>

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: marlowick [FILE.torrent | /M | /Q [FILE.torrent]]\n"
    "Hands .torrent files to the BitTorrent download service of a storage device on the local\n"
    "network.\n"
    "\n"
    "  marlowick                    the settings window: devices, account, destination\n"
    "  marlowick FILE.torrent       sends the file with the stored settings\n"
    "  marlowick /M                 the device's status monitor\n"
    "  marlowick /Q [FILE.torrent]  the transfer queue, with the file\n"
    "  marlowick --version          shows the version\n"
    "  marlowick --help             shows this text\n"
    "\n"
    "A second start hands its file to the running program's queue. Settings are kept in\n"
    "$XDG_CONFIG_HOME/marlowick/settings.reg.\n";

// The options that show no window; -1 when the command line is not one of them.
int RunInformationOption(int argc, char** argv) {
    if (argc != 2)
        return -1;
    const std::string_view option = argv[1];
    if (option == "--version") {
        std::printf("marlowick %s\n", MW_VERSION);
        return 0;
    }
    if (option == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int nExit = RunInformationOption(argc, argv); nExit >= 0)
        return nExit;
    // Made once the process is to run the program, and kept until it exits.
    static CLimitSingleInstance s_guard(kSingleInstanceMutexName);

    // The desktop matches the windows with the program's desktop entry by this name.
    g_set_prgname("marlowick");
    g_set_application_name("Marlowick");
    const auto pUi = CreateGtkUi();
    if (!pUi) {
        std::fprintf(stderr, "marlowick: cannot open the display (X11, or XWayland on Wayland)\n");
        return 1;
    }
    SetUiBackend(pUi.get());

    CAppServices services;
    services.pJobs = CreateRealJobServices();
    SetJobServices(services.pJobs);
    services.pRegistry = std::shared_ptr<CRegistry>(OpenUserRegistry());
    services.pShell = CreateSystemShell();
    services.pAssociation = CreateHalveryLookup();
    services.pDeviceList = &g_DeviceList;
    services.pHandOff = CreateRealHandOff(services.pRegistry, kSettingsKey,
                                          SiblingProgram(GetModulePath(), "Marlowick"));

    CMarlowickApp app(std::move(services), s_guard);
    app.InitInstance(JoinArguments(argc, argv));
    SetJobServices(nullptr);
    SetUiBackend(nullptr);
    return 0;
}
