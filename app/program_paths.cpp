// Where the program's companion programs lie; portable.
#include "app/program_paths.h"

#include "platform/text.h"

std::string ProgramFolder(const std::string& strModulePath) {
    auto pos = strModulePath.rfind('\\');
    if (pos == std::string::npos)
        pos = strModulePath.rfind('/');
    return pos == std::string::npos ? std::string() : strModulePath.substr(0, pos);
}

std::string SiblingProgram(const std::string& strModulePath, const char* pszName) {
    const std::string strFolder = ProgramFolder(strModulePath);
    const bool bWindowsNames =
        strModulePath.size() > 4 &&
        GetTextOps().CompareNoCase(strModulePath.substr(strModulePath.size() - 4), ".exe") == 0;
    if (bWindowsNames)
        return strFolder + "\\" + pszName + ".exe";
    std::string strLower(pszName);
    for (char& ch : strLower)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return strFolder + "/" + strLower;
}
