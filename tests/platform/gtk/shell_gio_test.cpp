// The Linux shell and its network-path rule: URIs of the desktop's file system to the Windows
// form and back, detached helper programs, the program's own path; Linux test.
#include "platform/gtk/smb_path.h"
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(NetworkPaths, AChosenUriBecomesTheFolderInTheWindowsForm) {
    struct Case {
        const char* uri;
        std::optional<std::string> folder;
    };
    const std::vector<Case> cases = {
        {"smb://NAS/Download/bt", "\\\\NAS\\Download\\bt"},
        {"smb://127.0.0.1/public/sub%20dir", "\\\\127.0.0.1\\public\\sub dir"},
        {"smb://NAS/share/", "\\\\NAS\\share"},
        {"smb://NAS/", "\\\\NAS"},
        {"SMB://NAS/Share", "\\\\NAS\\Share"},
        // The user and the port do not belong to a folder's name.
        {"smb://admin@NAS:4455/share/f%C3%A9e", "\\\\NAS\\share\\f\xC3\xA9"
                                                "e"},
        {"smb://NAS/a%25b", "\\\\NAS\\a%b"},
        // Names that the Windows form cannot carry.
        {"smb://NAS/a%2Fb", std::nullopt},
        {"smb://NAS/a%5Cb", std::nullopt},
        {"smb://NAS/a%00b", std::nullopt},
        {"smb:///share", std::nullopt},
        // A local folder is its path; the program's rule refuses it.
        {"file:///home/u/My%20Folder", "/home/u/My Folder"},
        {"file://otherhost/home/u", std::nullopt},
        {"sftp://host/x", std::nullopt},
        {"no uri at all", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderPathFromUri(c.uri), c.folder) << c.uri;
}

TEST(NetworkPaths, ANetworkPathBecomesTheUriThatMountsIt) {
    struct Case {
        const char* path;
        std::optional<std::string> uri;
    };
    const std::vector<Case> cases = {
        {"\\\\NAS", "smb://NAS/"},
        {"\\\\NAS\\", "smb://NAS/"},
        {"\\\\NAS\\Download\\bt x", "smb://NAS/Download/bt%20x"},
        {"//nas/share", "smb://nas/share"},
        {"\\\\NAS\\a#b", "smb://NAS/a%23b"},
        {"\\\\", std::nullopt},
        {"\\\\\\NAS", std::nullopt},
        {"\\NAS", std::nullopt},
        {"C:\\Downloads", std::nullopt},
        {"/home/u", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SmbUriFromNetworkPath(c.path), c.uri) << c.path;
    // There and back.
    for (const char* path : {"\\\\NAS\\Download\\bt x", "\\\\NAS\\a#b%c"})
        EXPECT_EQ(FolderPathFromUri(*SmbUriFromNetworkPath(path)), path);
}

TEST(Shell, AHiddenProgramRunsDetachedAndTheModulePathIsOurs) {
    auto pShell = CreateSystemShell();
    const auto dir =
        std::filesystem::temp_directory_path() / ("mw-shell-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string strMarker = (dir / "started").string();
    EXPECT_TRUE(pShell->StartHidden("touch", strMarker));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(strMarker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(strMarker));
    // Nobody here waits for it: it is not our child.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_FALSE(pShell->StartHidden((dir / "no-such-program").string(), "x"));
    std::filesystem::remove_all(dir);

    EXPECT_EQ(pShell->GetModulePath(), std::filesystem::canonical("/proc/self/exe").string());
    // A path that names no network node is left alone; nothing blocks.
    pShell->OpenInBackground("C:\\Downloads", {});
}

} // namespace
