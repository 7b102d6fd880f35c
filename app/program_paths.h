// Where the program's companion programs lie: beside it; portable.
#pragma once

#include <string>

// The folder of a program path: up to its last backslash, else its last slash; empty without
// either.
std::string ProgramFolder(const std::string& strModulePath);

// The companion program named pszName (as on Windows: "Pennick", "Arbolet", "Marlowick") beside
// the program at strModulePath: "<folder>\Pennick.exe" where the program's name ends in ".exe",
// "<folder>/pennick" otherwise (the Linux names are lower case, without extension).
std::string SiblingProgram(const std::string& strModulePath, const char* pszName);
