// The desktop shell on Linux: helper programs spawned detached, a device's network node mounted
// in the background through GIO, the program's path from /proc; Linux platform code.
#include "platform/shell.h"

#include "platform/gtk/smb_mount.h"
#include "platform/gtk/smb_path.h"

#include <gio/gio.h>

#include <climits>
#include <unistd.h>

namespace {

class CGioShell final : public CShell {
public:
    bool StartHidden(const std::string& strProgram, const std::string& strArgument) override {
        // Without DO_NOT_REAP_CHILD GLib starts the program through an intermediate child, so
        // it is nobody's child here and nothing waits for it.
        char* argv[] = {const_cast<char*>(strProgram.c_str()),
                        strArgument.empty() ? nullptr : const_cast<char*>(strArgument.c_str()),
                        nullptr};
        const auto flags =
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL);
        return g_spawn_async(nullptr, argv, nullptr, flags, nullptr, nullptr, nullptr, nullptr);
    }

    void OpenInBackground(const std::string& strPath, const CNetworkAccount& account) override {
        // The device's shares are mounted with the account, so that the folder browser and the
        // file manager reach them without asking; the user is never asked here.
        if (const auto strUri = SmbUriFromNetworkPath(strPath))
            MountSmbNode(*strUri, account, nullptr, nullptr);
    }

    std::string GetModulePath() override {
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
};

} // namespace

std::unique_ptr<CShell> CreateSystemShell() {
    return std::make_unique<CGioShell>();
}
