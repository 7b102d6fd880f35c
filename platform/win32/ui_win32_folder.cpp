// The folder browser of the Win32 backend: its call-back and the backend's BrowseForFolder;
// platform code.
#include "platform/win32/ui_win32_internal.h"

// After the layer's headers: <shlobj.h> declares a global WebBrowser, which the control kind of
// that name would otherwise shadow.
#include "platform/win32/ui_win32_folder.h"

#include <io.h>
#include <shellapi.h>
#include <winnetwk.h>

CRect GrowFolderBrowser(const CRect& rcWindow) {
    return {rcWindow.left, rcWindow.top, rcWindow.right + 40, rcWindow.bottom + 30};
}

CFolderBrowserLayout ArrangeFolderBrowser(CSize sizeClient, CSize sizeCancel) {
    CFolderBrowserLayout layout;
    const int nBottom = sizeClient.cy - 5;
    layout.rcCancel = {sizeClient.cx - 5 - sizeCancel.cx, nBottom - sizeCancel.cy,
                       sizeClient.cx - 5, nBottom};
    const int nOkRight = layout.rcCancel.left - 10;
    layout.rcOk = {nOkRight - sizeCancel.cx, nBottom - sizeCancel.cy, nOkRight, nBottom};
    layout.rcTree = {5, 5, sizeClient.cx - 5, layout.rcOk.top - 5};
    return layout;
}

bool FolderOkAllowed(const CFolderItemFacts& facts) {
    return facts.bHasPath && facts.bExists && !facts.bShortcut;
}

CFolderItemFacts ExamineFolderItem(PCIDLIST_ABSOLUTE pidl) {
    CFolderItemFacts facts;
    if (!pidl)
        return facts;
    char szPath[MAX_PATH + 1] = {};
    facts.bHasPath = SHGetPathFromIDListA(pidl, szPath) != FALSE && szPath[0] != '\0';
    facts.bExists = facts.bHasPath && _access(szPath, 0) == 0;
    SHFILEINFOA info{};
    if (SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidl), 0, &info, sizeof info,
                       SHGFI_PIDL | SHGFI_ATTRIBUTES))
        facts.bShortcut = (info.dwAttributes & SFGAO_LINK) != 0;
    return facts;
}

namespace {

void MoveTo(HWND hwnd, const CRect& rc) {
    if (hwnd)
        MoveWindow(hwnd, rc.left, rc.top, rc.Width(), rc.Height(), FALSE);
}

void OnBrowserInitialized(HWND hwnd, const char* pszStartPath) {
    // No context help: the browser has none to give.
    SetWindowLongW(hwnd, GWL_STYLE, GetWindowLongW(hwnd, GWL_STYLE) & ~DS_CONTEXTHELP);
    SetWindowLongW(hwnd, GWL_EXSTYLE, GetWindowLongW(hwnd, GWL_EXSTYLE) & ~WS_EX_CONTEXTHELP);
    // Open at the device.
    SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(pszStartPath));
    // A roomier window, where the tree is the window's own child (older browsers).
    HWND hwndTree = FindWindowExW(hwnd, nullptr, L"SysTreeView32", nullptr);
    if (!hwndTree)
        return;
    RECT rcWindow;
    GetWindowRect(hwnd, &rcWindow);
    const CRect rcGrown = GrowFolderBrowser(LayerRect(rcWindow));
    MoveWindow(hwnd, rcGrown.left, rcGrown.top, rcGrown.Width(), rcGrown.Height(), TRUE);
    RECT rcClient;
    GetClientRect(hwnd, &rcClient);
    HWND hwndCancel = GetDlgItem(hwnd, IDCANCEL);
    RECT rcCancel{};
    if (hwndCancel)
        GetWindowRect(hwndCancel, &rcCancel);
    const CFolderBrowserLayout layout =
        ArrangeFolderBrowser({rcClient.right, rcClient.bottom},
                             {rcCancel.right - rcCancel.left, rcCancel.bottom - rcCancel.top});
    MoveTo(hwndCancel, layout.rcCancel);
    MoveTo(GetDlgItem(hwnd, IDOK), layout.rcOk);
    MoveTo(hwndTree, layout.rcTree);
}

} // namespace

int CALLBACK FolderBrowserCallback(HWND hwnd, UINT nMsg, LPARAM lParam, LPARAM lpData) {
    switch (nMsg) {
    case BFFM_INITIALIZED:
        OnBrowserInitialized(hwnd, reinterpret_cast<const char*>(lpData));
        break;
    case BFFM_SELCHANGED:
        if (!FolderOkAllowed(ExamineFolderItem(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam))))
            SendMessageW(hwnd, BFFM_ENABLEOK, 0, FALSE);
        break;
    default:
        break;
    }
    return 0;
}

std::optional<std::string> CWin32Ui::BrowseForFolder(CUiWindow* pOwner, const std::string& strTitle,
                                                     const std::string& strStartPath,
                                                     const CNetworkAccount& account) {
    // The window's account for the device, so that its shares list without asking; the system
    // asks the user only when the device refuses it. The outcome does not matter here.
    if (!account.strUser.empty() && strStartPath.rfind("\\\\", 0) == 0) {
        std::string strRemote = strStartPath + "\\IPC$";
        NETRESOURCEA resource{};
        resource.dwType = RESOURCETYPE_ANY;
        resource.lpRemoteName = strRemote.data();
        WNetAddConnection2A(&resource, account.strPassword.c_str(), account.strUser.c_str(), 0);
    }
    char szDisplayName[MAX_PATH + 1] = {};
    BROWSEINFOA info{};
    info.hwndOwner = HwndOf(pOwner);
    info.pidlRoot = nullptr;
    info.pszDisplayName = szDisplayName;
    info.lpszTitle = strTitle.c_str();
    info.ulFlags = kFolderBrowserFlags;
    info.lpfn = FolderBrowserCallback;
    info.lParam = reinterpret_cast<LPARAM>(strStartPath.c_str());
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderA(&info);
    if (!pidl)
        return std::nullopt;
    char szPath[MAX_PATH + 2] = {};
    if (!SHGetPathFromIDListA(pidl, szPath))
        szPath[0] = '\0';
    CoTaskMemFree(pidl);
    return std::string(szPath);
}
