// The folder browser of the Win32 backend: its call-back's decisions as pure functions, and what
// the call-back learns of a chosen item; platform code.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include "platform/ui/ui_types.h"

#include <string>

// The browser's flags: file-system folders only, the new dialog style, no New Folder button.
constexpr UINT kFolderBrowserFlags =
    BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;

// Where the call-back puts the browser's parts once it has grown the window: the window grows by
// 40 x 30 from its top-left corner; Cancel keeps its size, 5 pixels from the client's right and
// bottom; OK takes Cancel's size, 10 pixels left of it; the tree fills the rest with a margin of
// 5 above the buttons. Client coordinates, except the window's.
struct CFolderBrowserLayout {
    CRect rcCancel;
    CRect rcOk;
    CRect rcTree;
};
CRect GrowFolderBrowser(const CRect& rcWindow);
CFolderBrowserLayout ArrangeFolderBrowser(CSize sizeClient, CSize sizeCancel);

// What is known of the item the user selects.
struct CFolderItemFacts {
    bool bHasPath = false; // a file-system item
    bool bExists = false;  // its path exists
    bool bShortcut = false;
};
// OK stays as the browser set it only for an existing file-system folder that is no shortcut.
bool FolderOkAllowed(const CFolderItemFacts& facts);
// The facts of an item, through the shell and the file system (null: nothing known).
CFolderItemFacts ExamineFolderItem(PCIDLIST_ABSOLUTE pidl);

// The browser's call-back: lpData is the start path (a C string).
int CALLBACK FolderBrowserCallback(HWND hwnd, UINT nMsg, LPARAM lParam, LPARAM lpData);
