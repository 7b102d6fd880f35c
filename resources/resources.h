// The program's resources as data: dialog templates and the string table; portable.
#pragma once

#include "platform/ui/dialog_template.h"
#include "resources/resource.h"

#include <string>

// The template with that id, or null. Every backend builds its dialogs from these.
const CDlgTemplate* FindDialogTemplate(int nId);
// As FindDialogTemplate, for ids the program knows to exist; an unknown id yields an empty
// template (no controls), never a crash.
const CDlgTemplate& GetDialogTemplate(int nId);
// The string table entry, or an empty text for an id that has none.
std::string LoadResString(int nId);
