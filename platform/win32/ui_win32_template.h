// In-memory DLGTEMPLATEEX from the layer's template data, for the Windows dialog manager; platform
// code.
#pragma once

#include <windows.h>

#include "platform/ui/dialog_template.h"

#include <vector>

// The dialog manager's template for tmpl: the dialog's styles and font face and size, every
// control with its class, styles and place in dialog units, so that the dialog manager converts
// the units itself. A web browser control becomes a window of hostClass that hosts the browser.
// The words start DWORD-aligned in the vector's storage.
std::vector<WORD> BuildDialogTemplate(const CDlgTemplate& tmpl, const wchar_t* pszBrowserHostClass);

// The window styles of the dialog and of one control, as the template carries them.
DWORD DialogStyle(const CDlgTemplate& tmpl);
DWORD DialogExStyle(const CDlgTemplate& tmpl);
DWORD ControlStyle(const CDlgItem& item);

// The weight the template asks of its font; GetBaseUnits measures with the same.
constexpr WORD kDialogFontWeight = FW_NORMAL;
