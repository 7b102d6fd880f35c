// A registry of the test's own: a temporary XDG_CONFIG_HOME; Linux test support.
#include "registry_test_scope.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

CTestRegistryScope::CTestRegistryScope() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mw-registry-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_strConfigDir = tmpl;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        m_bHadConfigHome = true;
        m_strSavedConfigHome = old;
    }
    ::setenv("XDG_CONFIG_HOME", m_strConfigDir.c_str(), 1);
    m_strKey = "SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0";
}

CTestRegistryScope::~CTestRegistryScope() {
    if (m_bHadConfigHome)
        ::setenv("XDG_CONFIG_HOME", m_strSavedConfigHome.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(m_strConfigDir, ec);
}
