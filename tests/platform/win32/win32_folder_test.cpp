// Tests of the Win32 folder browser: its call-back's layout and OK rule, the facts it reads
// through the shell and file APIs, and the real browser under Wine; Windows tests.
#include "win32_probe.h"

#include "platform/win32/ui_win32_folder.h"

#include <objbase.h>
#include <shlobj.h>

#include <filesystem>

using namespace mwtest;

namespace {

TEST(Win32FolderBrowser, TheWindowGrowsAndTheButtonsAndTreeFitItsCorner) {
    EXPECT_EQ(GrowFolderBrowser({100, 50, 400, 350}), (CRect{100, 50, 440, 380}));
    struct Case {
        CSize client, cancel;
        CRect rcCancel, rcOk, rcTree;
    };
    for (const Case& c : {
             Case{{334, 321},
                  {75, 23},
                  {254, 293, 329, 316},
                  {169, 293, 244, 316},
                  {5, 5, 329, 288}},
             Case{{200, 100}, {50, 14}, {145, 81, 195, 95}, {85, 81, 135, 95}, {5, 5, 195, 76}},
         }) {
        const CFolderBrowserLayout layout = ArrangeFolderBrowser(c.client, c.cancel);
        EXPECT_EQ(layout.rcCancel, c.rcCancel) << c.client.cx;
        EXPECT_EQ(layout.rcOk, c.rcOk) << c.client.cx;
        EXPECT_EQ(layout.rcTree, c.rcTree) << c.client.cx;
    }
}

TEST(Win32FolderBrowser, OkOnlyForAnExistingFileSystemFolderThatIsNoShortcut) {
    struct Case {
        CFolderItemFacts facts;
        bool bAllowed;
    };
    for (const Case& c : {Case{{true, true, false}, true}, Case{{false, false, false}, false},
                          Case{{true, false, false}, false}, Case{{true, true, true}, false}})
        EXPECT_EQ(FolderOkAllowed(c.facts), c.bAllowed)
            << c.facts.bHasPath << c.facts.bExists << c.facts.bShortcut;
}

// An item list for a path, whether or not it exists.
struct CItem {
    explicit CItem(const std::string& strPath)
        : pidl(SHSimpleIDListFromPath(Win32Widen(strPath).c_str())) {}
    explicit CItem(PIDLIST_ABSOLUTE p) : pidl(p) {}
    ~CItem() { CoTaskMemFree(pidl); }
    PIDLIST_ABSOLUTE pidl;
    static std::wstring Win32Widen(const std::string& s) {
        return std::wstring(s.begin(), s.end());
    }
};

TEST(Win32FolderBrowser, FactsOfLocalNetworkShortcutAndVirtualItemsThroughTheShell) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "mw-folder-test";
    std::filesystem::create_directories(dir / "downloads");
    const std::string strDir = (dir / "downloads").string();

    // A shortcut to the folder.
    const std::string strLink = (dir / "downloads.lnk").string();
    IShellLinkA* pLink = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkA, reinterpret_cast<void**>(&pLink))));
    pLink->SetPath(strDir.c_str());
    IPersistFile* pFile = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pFile))));
    EXPECT_TRUE(SUCCEEDED(pFile->Save(CItem::Win32Widen(strLink).c_str(), TRUE)));
    pFile->Release();
    pLink->Release();

    PIDLIST_ABSOLUTE pidlComputer = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidlComputer)));

    // -1: either answer; the shell may or may not give a network item of no device a path.
    struct Case {
        const char* name;
        PIDLIST_ABSOLUTE pidl;
        int nHasPath, nExists, nShortcut;
        bool bOk;
    };
    CItem local(strDir);
    CItem missing((dir / "gone").string());
    CItem unc("\\\\mw-no-such-host\\share\\bt");
    CItem link(strLink);
    CItem computer(pidlComputer);
    for (const Case& c : {
             Case{"local folder", local.pidl, 1, 1, 0, true},
             Case{"missing local folder", missing.pidl, 1, 0, 0, false},
             Case{"network folder of no device", unc.pidl, -1, 0, 0, false},
             Case{"shortcut", link.pidl, 1, 1, 1, false},
             Case{"My Computer", computer.pidl, 0, 0, 0, false},
             Case{"nothing", nullptr, 0, 0, 0, false},
         }) {
        const CFolderItemFacts facts = ExamineFolderItem(c.pidl);
        for (auto [nWanted, bGot] :
             {std::pair{c.nHasPath, facts.bHasPath}, std::pair{c.nExists, facts.bExists},
              std::pair{c.nShortcut, facts.bShortcut}}) {
            if (nWanted >= 0) {
                EXPECT_EQ(bGot, nWanted == 1) << c.name;
            }
        }
        EXPECT_EQ(FolderOkAllowed(facts), c.bOk) << c.name;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    CoUninitialize();
}

TEST(Win32FolderBrowser, TheRealBrowserOpensAtTheStartPathWithoutContextHelp) {
    CWin32UiScope scope;
    CProbeDlg owner(IDD_MARLOWICK_DIALOG);
    const std::string strStart = std::filesystem::temp_directory_path().string();
    bool bSeen = false;
    bool bContextHelp = true;
    bool bOkEnabled = false;
    std::optional<std::string> chosen{"not asked"};
    owner.m_fnOnTimer = [&](std::uintptr_t) {
        // The browser runs its own modal loop; the owner's timer still fires inside it.
        HWND hwnd = GetActiveWindow();
        if (!hwnd || hwnd == owner.Hwnd() || !GetDlgItem(hwnd, IDOK))
            return;
        owner.KillTimer(9);
        bSeen = true;
        bContextHelp = (GetWindowLongW(hwnd, GWL_STYLE) & DS_CONTEXTHELP) ||
                       (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
        bOkEnabled = IsWindowEnabled(GetDlgItem(hwnd, IDOK));
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    };
    owner.Then([&] {
        owner.SetTimer(9, 100);
        chosen = GetUiBackend().BrowseForFolder(&owner, "Pick a folder", strStart, {});
        owner.EndDialog(IDOK);
    });
    EXPECT_EQ(owner.DoModal(), IDOK);
    EXPECT_TRUE(bSeen);
    EXPECT_FALSE(bContextHelp);
    EXPECT_TRUE(bOkEnabled) << "the start path is an existing folder";
    EXPECT_EQ(chosen, std::nullopt);
}

} // namespace
