// The single-instance guard: tells a second process of the user that one already runs; portable.
#pragma once

#include "platform/instance.h"

#include <cstdint>
#include <memory>

// The name every process of the program creates its guard with.
inline constexpr char kSingleInstanceMutexName[] = "{Ombrel-LM42-BT-Download-Setting}";

// Created once during static initialisation and kept until the process exits, so the named lock
// exists for the whole life of every process, also one that only sends a file.
class CLimitSingleInstance {
public:
    explicit CLimitSingleInstance(const char* mutexName);
    virtual ~CLimitSingleInstance();
    CLimitSingleInstance(const CLimitSingleInstance&) = delete;
    CLimitSingleInstance& operator=(const CLimitSingleInstance&) = delete;

    // True when another process created the lock first (or it exists but may not be opened).
    bool IsAnotherInstanceRunning() const;
    // Lets go of the lock early: a second process that waits for the first to end must not keep
    // the lock alive itself (a named mutex exists while any handle to it is open).
    void Close();

private:
    std::uint32_t m_dwLastError = 0;
    std::unique_ptr<CInstanceMutex> m_pMutex;
};
