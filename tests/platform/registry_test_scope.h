// A registry of the test's own, so that tests never touch the user's settings; test support.
#pragma once

#include <string>

// On Linux: a fresh temporary XDG_CONFIG_HOME, removed with its contents afterwards. On Windows:
// a test-only key under HKEY_CURRENT_USER, deleted with its values afterwards.
class CTestRegistryScope {
public:
    CTestRegistryScope();
    ~CTestRegistryScope();
    CTestRegistryScope(const CTestRegistryScope&) = delete;
    CTestRegistryScope& operator=(const CTestRegistryScope&) = delete;

    // The key path the test reads and writes, relative to HKEY_CURRENT_USER.
    const std::string& Key() const { return m_strKey; }
    // Linux: the temporary configuration folder; Windows: empty.
    const std::string& ConfigDir() const { return m_strConfigDir; }

private:
    std::string m_strKey;
    std::string m_strConfigDir;
    std::string m_strSavedConfigHome;
    bool m_bHadConfigHome = false;
};
