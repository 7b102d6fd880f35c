// A named mutex as the single-instance lock; Windows backend of platform/instance.h.
#include "platform/instance.h"

#include <windows.h>

namespace {

class CWin32Mutex final : public CInstanceMutex {
public:
    explicit CWin32Mutex(HANDLE hMutex) : m_hMutex(hMutex) {}
    ~CWin32Mutex() override { CloseHandle(m_hMutex); }
    CWin32Mutex(const CWin32Mutex&) = delete;
    CWin32Mutex& operator=(const CWin32Mutex&) = delete;

private:
    HANDLE m_hMutex;
};

} // namespace

std::unique_ptr<CInstanceMutex> CreateInstanceMutex(const std::string& name,
                                                    std::uint32_t& lastError) {
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, name.c_str());
    lastError = GetLastError();
    if (!hMutex)
        return nullptr;
    return std::make_unique<CWin32Mutex>(hMutex);
}

std::string GetInstanceLockPath(const std::string&) {
    return {};
}
