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

// A mutex this process owns: released, then closed.
class COwnedMutex final : public CInstanceMutex {
public:
    explicit COwnedMutex(HANDLE hMutex) : m_hMutex(hMutex) {}
    ~COwnedMutex() override {
        ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
    }
    COwnedMutex(const COwnedMutex&) = delete;
    COwnedMutex& operator=(const COwnedMutex&) = delete;

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

bool IsInstanceMutexHeld(const std::string& name) {
    // The guard is a mutex that exists while its process lives.
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (hMutex) {
        CloseHandle(hMutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

std::unique_ptr<CInstanceMutex> AcquireNamedLock(const std::string& name) {
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (!hMutex)
        return nullptr;
    // An owner that died leaves the mutex abandoned: it is ours then.
    const DWORD rc = WaitForSingleObject(hMutex, INFINITE);
    if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED) {
        CloseHandle(hMutex);
        return nullptr;
    }
    return std::make_unique<COwnedMutex>(hMutex);
}
