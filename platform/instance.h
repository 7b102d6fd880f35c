// A named lock that tells whether another process of the user already runs; portable interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Last-error values of the guard, numbered as Windows numbers them.
constexpr std::uint32_t kInstanceErrAlreadyExists = 183; // ERROR_ALREADY_EXISTS
constexpr std::uint32_t kInstanceErrAccessDenied = 5;    // ERROR_ACCESS_DENIED

// The named lock. Destroying it closes it; the lock ends with the process in any case, also when
// the process is killed.
class CInstanceMutex {
public:
    virtual ~CInstanceMutex() = default;
};

// Creates the named lock, or opens it when it already exists. lastError receives 0 when this
// process is the first, kInstanceErrAlreadyExists when another process holds it,
// kInstanceErrAccessDenied when it exists but may not be opened, another code on other
// failures. The result is null when nothing could be created or opened, and may be null when
// another process holds the lock; only lastError tells the cases apart.
std::unique_ptr<CInstanceMutex> CreateInstanceMutex(const std::string& name,
                                                    std::uint32_t& lastError);

// The file that stands for the named lock on Linux (for tests and diagnostics); empty elsewhere.
std::string GetInstanceLockPath(const std::string& name);

// True when a process of the user holds the named lock now (it is not taken here).
bool IsInstanceMutexHeld(const std::string& name);

// A per-user lock held while the object lives, waiting as long as another process (or another
// object of this one) holds it; it ends with the process however that ends. Null when the lock
// cannot be made at all.
std::unique_ptr<CInstanceMutex> AcquireNamedLock(const std::string& name);
