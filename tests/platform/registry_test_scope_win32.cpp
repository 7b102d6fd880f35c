// A registry of the test's own: a test-only key, deleted afterwards; Windows test support.
#include "registry_test_scope.h"

#include <windows.h>

namespace {
constexpr char kTestParent[] = "SOFTWARE\\LM42\\Tessaly\\MarlowickTest";
int g_nScopes = 0;
} // namespace

CTestRegistryScope::CTestRegistryScope() {
    m_strKey = std::string(kTestParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++g_nScopes);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_strKey.c_str());
}

CTestRegistryScope::~CTestRegistryScope() {
    RegDeleteTreeA(HKEY_CURRENT_USER, m_strKey.c_str());
    // Removes the parent only once no other test key is left under it.
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestParent);
}
