// The association components on Windows, run under Wine: Pennick switches the user's .torrent
// class between a stand-in program's and Arbolet's, and Halvery (through the program's lookup)
// reports the command; Windows tests.
#include "app/app_services.h"
#include "child_process.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

constexpr const char* kExtensionKey = "Software\\Classes\\.torrent";
constexpr const char* kOurKey = "Software\\Classes\\Marlowick.Torrent";
constexpr const char* kFileExtsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.torrent";
constexpr const char* kPreviousCommand = "\"C:\\Stand-in\\viewer.exe\" \"%1\"";
constexpr const char* kOtherCommand = "\"C:\\Other\\client.exe\" \"%1\"";

bool UnderWine() {
    const HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    return hNtdll && GetProcAddress(hNtdll, "wine_get_version");
}

// A text value of HKCU; "<absent>" when the key or the value is not there.
std::string Value(const std::string& strKey, const char* pszValue = nullptr) {
    char buffer[1024] = {};
    DWORD cb = sizeof buffer;
    if (RegGetValueA(HKEY_CURRENT_USER, strKey.c_str(), pszValue, RRF_RT_REG_SZ, nullptr, buffer,
                     &cb) != ERROR_SUCCESS)
        return "<absent>";
    return buffer;
}

bool KeyExists(const std::string& strKey) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

void SetValue(const std::string& strKey, const char* pszValue, const std::string& strText) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, strKey.c_str(), pszValue, REG_SZ, strText.c_str(),
                              static_cast<DWORD>(strText.size() + 1)),
              ERROR_SUCCESS);
}

// A program's class: its name and the command of its open verb.
void RegisterClass(const std::string& strProgId, const std::string& strCommand) {
    SetValue("Software\\Classes\\" + strProgId + "\\shell\\open\\command", nullptr, strCommand);
}

std::string ReadAll(const std::string& strPath) {
    std::ifstream in(strPath);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

// Pennick and a stand-in Arbolet side by side in a folder of their own, with the build's
// libraries reached through PATH. Every key the tests touch is cleared before and after; the
// tests run only in Wine's throw-away prefix, never against a real user's classes.
class AssociationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!UnderWine())
            GTEST_SKIP() << "switches the user's own .torrent class: run under Wine only";
        ClearKeys();
        char szTemp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, szTemp);
        m_strFolder =
            std::string(szTemp) + "Marlowick 1.0 " + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_strFolder.c_str(), nullptr);
        m_strPennick = m_strFolder + "\\Pennick.exe";
        ASSERT_TRUE(
            CopyFileA((mwtest::ExeDir() + "\\Pennick.exe").c_str(), m_strPennick.c_str(), FALSE));
        m_strArbolet = m_strFolder + "\\Arbolet.exe";
        std::ofstream(m_strArbolet) << "stand-in";
        char szPath[8192] = {};
        GetEnvironmentVariableA("PATH", szPath, sizeof szPath);
        SetEnvironmentVariableA("PATH", (mwtest::ExeDir() + ";" + szPath).c_str());
    }

    void TearDown() override {
        if (m_strFolder.empty())
            return;
        ClearKeys();
        DeleteFileA(m_strPennick.c_str());
        DeleteFileA(m_strArbolet.c_str());
        RemoveDirectoryA(m_strFolder.c_str());
    }

    static void ClearKeys() {
        for (const char* key :
             {kExtensionKey, kOurKey, kFileExtsKey, "Software\\Classes\\Viewer.Torrent",
              "Software\\Classes\\Other.Torrent"})
            RegDeleteTreeA(HKEY_CURRENT_USER, key);
    }

    int Pennick(const char* pszArgument) {
        return mwtest::RunChild(m_strPennick, {pszArgument}, 30000);
    }

    std::string HalveryCommand() { return CreateHalveryLookup()->GetHandlerCommand(".torrent"); }

    bool HalveryNamesArbolet() { return GetTextOps().ContainsPath(HalveryCommand(), m_strArbolet); }

    static std::string Log() {
        char szLocal[MAX_PATH] = {};
        GetEnvironmentVariableA("LOCALAPPDATA", szLocal, MAX_PATH);
        return ReadAll(std::string(szLocal) + "\\Marlowick\\marlowick.log");
    }

    void InstallViewer() {
        RegisterClass("Viewer.Torrent", kPreviousCommand);
        SetValue(kExtensionKey, nullptr, "Viewer.Torrent");
        ASSERT_EQ(HalveryCommand(), kPreviousCommand);
    }

    std::string m_strFolder;
    std::string m_strPennick;
    std::string m_strArbolet;
};

TEST_F(AssociationTest, SwitchingOnNamesArboletAndSwitchingOffGivesThePreviousClassBack) {
    InstallViewer();
    // Twice: the second run finds itself as the handler and keeps what the first replaced.
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Pennick("/Y"), 0);
        EXPECT_EQ(Value(kExtensionKey), "Marlowick.Torrent");
        EXPECT_EQ(HalveryCommand(), "\"" + m_strArbolet + "\" \"%1\"");
        EXPECT_TRUE(HalveryNamesArbolet());
    }
    ASSERT_EQ(Pennick("/N"), 0);
    EXPECT_EQ(Value(kExtensionKey), "Viewer.Torrent");
    EXPECT_EQ(HalveryCommand(), kPreviousCommand);
    EXPECT_FALSE(KeyExists(kOurKey));
    EXPECT_NE(Log().find("replaces \"Viewer.Torrent\""), std::string::npos) << Log();
}

TEST_F(AssociationTest, AnExtensionKeyThatSwitchingOnMadeGoesAgain) {
    ASSERT_EQ(Pennick("/Y"), 0);
    EXPECT_TRUE(HalveryNamesArbolet());
    ASSERT_EQ(Pennick("/N"), 0);
    EXPECT_FALSE(KeyExists(kExtensionKey));
    EXPECT_FALSE(KeyExists(kOurKey));
    EXPECT_EQ(HalveryCommand(), "");
}

TEST_F(AssociationTest, SwitchingOffLeavesAnotherProgramThatTookTheTypeOver) {
    InstallViewer();
    ASSERT_EQ(Pennick("/Y"), 0);
    RegisterClass("Other.Torrent", kOtherCommand);
    SetValue(kExtensionKey, nullptr, "Other.Torrent");
    EXPECT_EQ(Pennick("/N"), 0);
    EXPECT_EQ(Value(kExtensionKey), "Other.Torrent");
    EXPECT_EQ(HalveryCommand(), kOtherCommand);
    EXPECT_FALSE(KeyExists(kOurKey));

    // Switching off with nothing of ours left changes nothing either.
    EXPECT_EQ(Pennick("/N"), 0);
    EXPECT_EQ(Value(kExtensionKey), "Other.Torrent");
}

TEST_F(AssociationTest, AProtectedUserChoiceIsLoggedAndWinsOverOurClass) {
    InstallViewer();
    RegisterClass("Other.Torrent", kOtherCommand);
    SetValue(std::string(kFileExtsKey) + "\\UserChoice", "ProgId", "Other.Torrent");
    EXPECT_EQ(Pennick("/Y"), 3);
    EXPECT_EQ(HalveryCommand(), kOtherCommand); // the window's check shows "Disable"
    EXPECT_NE(Log().find("\"Other.Torrent\" for .torrent is protected"), std::string::npos)
        << Log();
    // Our class is written all the same; switching off gives the user's class back.
    EXPECT_EQ(Value(kExtensionKey), "Marlowick.Torrent");
    EXPECT_EQ(Pennick("/N"), 0);
    EXPECT_EQ(Value(kExtensionKey), "Viewer.Torrent");
    EXPECT_EQ(Value(std::string(kFileExtsKey) + "\\UserChoice", "ProgId"), "Other.Torrent");
}

TEST_F(AssociationTest, RefusalsChangeNothing) {
    InstallViewer();
    DeleteFileA(m_strArbolet.c_str());
    EXPECT_EQ(Pennick("/Y"), 4);
    EXPECT_EQ(Pennick("/X"), 1);
    EXPECT_EQ(Value(kExtensionKey), "Viewer.Torrent");
    EXPECT_FALSE(KeyExists(kOurKey));
}

} // namespace
