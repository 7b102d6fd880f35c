// What opens a file extension, as the platform tells it; portable declaration, one backend per
// platform (halvery_gio.cpp, halvery_win32.cpp).
#pragma once

#include "outside/halvery/halvery.h"

#include <string>

// Fills every field it can and returns true when a handler with a command was found; otherwise
// false with m_strError set.
bool HalveryLookUp(const std::string& strExtension, CFileAssociationParam& param);
