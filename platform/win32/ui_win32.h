// The Win32 backend of the dialog layer: what a program's entry and the tests see of it; platform
// code.
//
// A WinMain makes the backend on its UI thread, installs it and runs the start-up:
//
//     auto pUi = CreateWin32Ui();
//     SetUiBackend(pUi.get());
//     ... the start-up, whose dialogs run their own modal loops ...
//
// The backend initialises OLE (apartment-threaded) and the common controls on that thread; the
// program's manifest (platform/win32/ui_win32.rc) selects Common Controls 6 and declares the
// program DPI-unaware.
#pragma once

#include <windows.h>

#include "platform/ui/ui_backend.h"

#include <memory>

std::unique_ptr<CUiBackend> CreateWin32Ui();

// The native window of a layer window while it exists, else null (tests, and a program's entry
// that needs a handle).
HWND Win32WindowOf(const CUiWindow& wnd);
// The native window of one control of a dialog while the dialog exists, else null.
HWND Win32ControlOf(const CDialog& dlg, int nId);
// The read-only text box that shows a web browser control's page when the control cannot, or
// null while the control shows the page itself.
HWND Win32BrowserFallbackOf(const CDialog& dlg, int nId);
