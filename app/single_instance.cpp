// The single-instance guard: tells a second process of the user that one already runs; portable.
#include "app/single_instance.h"

CLimitSingleInstance::CLimitSingleInstance(const char* mutexName)
    : m_pMutex(CreateInstanceMutex(mutexName ? mutexName : "", m_dwLastError)) {}

CLimitSingleInstance::~CLimitSingleInstance() = default;

bool CLimitSingleInstance::IsAnotherInstanceRunning() const {
    return m_dwLastError == kInstanceErrAlreadyExists || m_dwLastError == kInstanceErrAccessDenied;
}

void CLimitSingleInstance::Close() {
    m_pMutex.reset();
}
