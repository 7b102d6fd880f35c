// The desktop shell for the program: ShellExecute, hidden; Win32 backend of platform/shell.h.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <winnetwk.h>

#include "platform/shell.h"

#include <thread>

namespace {

class CWin32Shell final : public CShell {
public:
    bool StartHidden(const std::string& strProgram, const std::string& strArgument) override {
        const auto nResult = reinterpret_cast<INT_PTR>(ShellExecuteA(
            nullptr, "open", strProgram.c_str(), strArgument.c_str(), nullptr, SW_HIDE));
        return nResult > 32;
    }

    void OpenInBackground(const std::string& strPath, const CNetworkAccount& account) override {
        // Signing in and opening a network path can wait on the network: a worker of its own
        // does it, owning copies of what it reads, and nobody waits for its outcome.
        std::thread([strPath, account] {
            const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            if (!account.strUser.empty()) {
                std::string strRemote = strPath;
                NETRESOURCEA resource{};
                resource.dwType = RESOURCETYPE_ANY;
                resource.lpRemoteName = strRemote.data();
                WNetAddConnection2A(&resource, account.strPassword.c_str(), account.strUser.c_str(),
                                    0);
            }
            ShellExecuteA(nullptr, nullptr, strPath.c_str(), nullptr, nullptr, SW_HIDE);
            if (SUCCEEDED(hrCom))
                CoUninitialize();
        }).detach();
    }

    std::string GetModulePath() override {
        std::string strPath(MAX_PATH, '\0');
        for (;;) {
            const DWORD n =
                GetModuleFileNameA(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
            if (n == 0)
                return {};
            if (n < strPath.size()) {
                strPath.resize(n);
                return strPath;
            }
            strPath.resize(strPath.size() * 2);
        }
    }
};

} // namespace

std::unique_ptr<CShell> CreateSystemShell() {
    return std::make_unique<CWin32Shell>();
}
