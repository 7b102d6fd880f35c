// The association components on Linux: Pennick switches the .torrent default between a stand-in
// program and Arbolet, checked with xdg-mime and with Halvery, all in a private home with GIO
// kept off the user's real associations; Linux tests.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kType = "application/x-bittorrent";
constexpr const char* kOurs = "marlowick-arbolet.desktop";

struct CRun {
    int m_nExit = -1;
    std::string m_strOutput;
};

// Runs a shell command line, bounded in time, with its standard output and error together.
CRun RunShell(const std::string& strCommand) {
    CRun run;
    FILE* pPipe = ::popen(("timeout 30 " + strCommand + " 2>&1").c_str(), "r");
    if (!pPipe)
        return run;
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pPipe))
        run.m_strOutput += buffer.data();
    const int status = ::pclose(pPipe);
    run.m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!run.m_strOutput.empty() && run.m_strOutput.back() == '\n')
        run.m_strOutput.pop_back();
    return run;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

void WriteExecutable(const fs::path& path) {
    std::ofstream(path) << "#!/bin/sh\nexit 0\n";
    fs::permissions(path, fs::perms::owner_all);
}

// A private home: every XDG folder, the desktop and the session bus point away from the user's,
// so that neither GIO nor xdg-mime reads or writes a real association. The MIME database stays
// the system's (read only), which maps .torrent to its type.
class AssociationTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string strTemplate = (fs::temp_directory_path() / "mw-association-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_root = strTemplate;
        for (const char* sub : {"home", "data/applications", "config", "state", "cache",
                                "config-dirs", "runtime", "programs", "system"})
            fs::create_directories(m_root / sub);
        // The system's MIME database, without the system's applications: a torrent client
        // installed on the machine must not be the type's handler here.
        fs::create_directory_symlink("/usr/share/mime", m_root / "system" / "mime");
        const std::array<std::pair<const char*, fs::path>, 8> arrFolders = {{
            {"HOME", m_root / "home"},
            {"XDG_DATA_HOME", m_root / "data"},
            {"XDG_CONFIG_HOME", m_root / "config"},
            {"XDG_STATE_HOME", m_root / "state"},
            {"XDG_CACHE_HOME", m_root / "cache"},
            {"XDG_CONFIG_DIRS", m_root / "config-dirs"},
            {"XDG_RUNTIME_DIR", m_root / "runtime"},
            {"XDG_DATA_DIRS", m_root / "system"},
        }};
        for (const auto& [name, path] : arrFolders)
            ::setenv(name, path.c_str(), 1);
        // xdg-mime then reads the lists itself instead of asking a desktop's own tool; GIO
        // stays local and finds no session bus to start services on.
        ::setenv("XDG_CURRENT_DESKTOP", "X-Generic", 1);
        ::setenv("GIO_USE_VFS", "local", 1);
        ::setenv("GSETTINGS_BACKEND", "memory", 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        for (const char* name : {"DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                                 "MATE_DESKTOP_SESSION_ID", "LXQT_SESSION_CONFIG", "DISPLAY",
                                 "WAYLAND_DISPLAY", "XDG_MENU_PREFIX"})
            ::unsetenv(name);

        // Pennick and Arbolet side by side in a folder whose name needs quoting in Exec.
        m_programFolder = m_root / "Marlowick 1.0";
        fs::create_directories(m_programFolder);
        fs::copy_file(MW_PENNICK, m_programFolder / "pennick");
        m_arbolet = m_programFolder / "arbolet";
        WriteExecutable(m_arbolet);
        ASSERT_EQ(RunShell("xdg-mime --version").m_nExit, 0)
            << "xdg-mime missing: scripts/bootstrap";
    }

    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    CRun Pennick(const char* pszArgument) {
        return RunShell(Quoted(m_programFolder / "pennick") + " " + pszArgument);
    }

    // A stand-in program with a desktop entry of its own, made the type's default by xdg-mime.
    fs::path InstallStandIn(const std::string& strName, bool bMakeDefault = true) {
        const fs::path program = m_root / "programs" / strName;
        WriteExecutable(program);
        std::ofstream(m_root / "data" / "applications" / (strName + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=" << strName
            << "\nExec=" << program.string() << " %f\nMimeType=" << kType << ";\n";
        if (bMakeDefault) {
            EXPECT_EQ(RunShell("xdg-mime default " + strName + ".desktop " + kType).m_nExit, 0);
        }
        return program;
    }

    std::string DefaultByXdgMime() {
        return RunShell(std::string("xdg-mime query default ") + kType).m_strOutput;
    }

    // The command the program's window would read, from a fresh process each time.
    std::string HalveryCommand() {
        return RunShell(std::string(MW_HALVERY_QUERY) + " .torrent").m_strOutput;
    }

    bool HalveryNames(const fs::path& program) {
        return GetTextOps().ContainsPath(HalveryCommand(), program.string());
    }

    fs::path OurEntry() const { return m_root / "data" / "applications" / kOurs; }
    fs::path MimeAppsList() const { return m_root / "config" / "mimeapps.list"; }
    std::string Log() const { return ReadAll(m_root / "state" / "marlowick" / "marlowick.log"); }

    fs::path m_root;
    fs::path m_programFolder;
    fs::path m_arbolet;
};

TEST_F(AssociationTest, SwitchingOnNamesArboletAndSwitchingOffGivesThePreviousDefaultBack) {
    const fs::path viewer = InstallStandIn("viewer");
    ASSERT_EQ(DefaultByXdgMime(), "viewer.desktop");
    ASSERT_TRUE(HalveryNames(viewer));

    const CRun on = Pennick("/Y");
    EXPECT_EQ(on.m_nExit, 0) << on.m_strOutput;
    EXPECT_EQ(std::count(on.m_strOutput.begin(), on.m_strOutput.end(), '\n'), 0) << on.m_strOutput;
    EXPECT_EQ(DefaultByXdgMime(), kOurs);
    // What the window checks: Arbolet's path beside the program, inside the handler's command.
    EXPECT_TRUE(HalveryNames(m_arbolet)) << HalveryCommand();
    EXPECT_NE(Log().find("replaces \"viewer.desktop\""), std::string::npos) << Log();

    const CRun off = Pennick("/N");
    EXPECT_EQ(off.m_nExit, 0) << off.m_strOutput;
    EXPECT_EQ(DefaultByXdgMime(), "viewer.desktop");
    EXPECT_TRUE(HalveryNames(viewer)) << HalveryCommand();
    EXPECT_FALSE(fs::exists(OurEntry()));
}

TEST_F(AssociationTest, SwitchingOnTwiceStillGivesBackTheOriginalDefault) {
    const fs::path viewer = InstallStandIn("viewer");
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Pennick("/Y").m_nExit, 0);
    EXPECT_TRUE(HalveryNames(m_arbolet));
    // A second "/Y" found itself as the handler and kept what the first one replaced.
    ASSERT_EQ(Pennick("/N").m_nExit, 0);
    EXPECT_EQ(DefaultByXdgMime(), "viewer.desktop");
    EXPECT_TRUE(HalveryNames(viewer));
    // Nothing left to undo: a second "/N" changes nothing.
    const std::string strList = ReadAll(MimeAppsList());
    EXPECT_EQ(Pennick("/N").m_nExit, 0);
    EXPECT_EQ(ReadAll(MimeAppsList()), strList);
}

TEST_F(AssociationTest, SwitchingOffLeavesAnotherProgramThatTookTheTypeOver) {
    InstallStandIn("viewer");
    ASSERT_EQ(Pennick("/Y").m_nExit, 0);
    const fs::path other = InstallStandIn("other-client");
    ASSERT_EQ(DefaultByXdgMime(), "other-client.desktop");

    EXPECT_EQ(Pennick("/N").m_nExit, 0);
    EXPECT_EQ(DefaultByXdgMime(), "other-client.desktop");
    EXPECT_TRUE(HalveryNames(other));
    EXPECT_FALSE(fs::exists(OurEntry())); // our own entry goes all the same
    EXPECT_NE(Log().find("not ours: it stays"), std::string::npos) << Log();

    // Switched on again, it now replaces the program that took over, and gives the type back
    // to it.
    ASSERT_EQ(Pennick("/Y").m_nExit, 0);
    ASSERT_EQ(Pennick("/N").m_nExit, 0);
    EXPECT_EQ(DefaultByXdgMime(), "other-client.desktop");
}

TEST_F(AssociationTest, SwitchingOffWithoutSwitchingOnTouchesNothing) {
    InstallStandIn("viewer");
    const std::string strList = ReadAll(MimeAppsList());
    const CRun off = Pennick("/N");
    EXPECT_EQ(off.m_nExit, 0) << off.m_strOutput;
    EXPECT_EQ(ReadAll(MimeAppsList()), strList);
    EXPECT_FALSE(fs::exists(OurEntry()));
    EXPECT_EQ(DefaultByXdgMime(), "viewer.desktop");
}

TEST_F(AssociationTest, WithNoDefaultBeforeSwitchingOffLeavesNoHandler) {
    ASSERT_EQ(Pennick("/Y").m_nExit, 0);
    EXPECT_TRUE(HalveryNames(m_arbolet));
    ASSERT_EQ(Pennick("/N").m_nExit, 0);
    EXPECT_FALSE(fs::exists(OurEntry()));
    // GIO has no call that drops a single default line, so the list may still name our removed
    // entry; GIO skips a missing entry, and the window's check reads GIO.
    EXPECT_EQ(RunShell(std::string(MW_HALVERY_QUERY) + " .torrent").m_nExit, 1) << HalveryCommand();
}

TEST_F(AssociationTest, RefusalsChangeNothing) {
    InstallStandIn("viewer");
    fs::remove(m_arbolet);
    const CRun noArbolet = Pennick("/Y");
    EXPECT_EQ(noArbolet.m_nExit, 4) << noArbolet.m_strOutput;
    EXPECT_NE(noArbolet.m_strOutput.find(m_arbolet.string()), std::string::npos);
    for (const char* args : {"", "/X", "/Y /N"})
        EXPECT_EQ(Pennick(args).m_nExit, 1) << args;
    EXPECT_EQ(DefaultByXdgMime(), "viewer.desktop");
    EXPECT_FALSE(fs::exists(OurEntry()));
}

} // namespace
