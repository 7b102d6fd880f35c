// The per-user registry under HKEY_CURRENT_USER, shaped after the calls the settings make; portable
// interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Status codes, numbered as the Windows registry numbers them, so that every backend answers alike.
using RegStatus = std::int32_t;
constexpr RegStatus kRegOk = 0;               // ERROR_SUCCESS
constexpr RegStatus kRegErrNotFound = 2;      // ERROR_FILE_NOT_FOUND: no such key or value
constexpr RegStatus kRegErrAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr RegStatus kRegErrInvalidParam = 87; // ERROR_INVALID_PARAMETER
constexpr RegStatus kRegErrMoreData = 234;    // ERROR_MORE_DATA: the buffer was too small
constexpr RegStatus kRegErrWriteFault = 29;   // ERROR_WRITE_FAULT: the store could not be written
constexpr RegStatus kRegErrIoFailed = 1016; // ERROR_REGISTRY_IO_FAILED: the store could not be read
constexpr RegStatus kRegErrTimeout = 1460;  // ERROR_TIMEOUT: the settings lock stayed taken

// What an opened key may do: query values only, or everything.
enum class ERegAccess { Query, All };

// One open key. Destroying it closes it.
class CRegistryKey {
public:
    virtual ~CRegistryKey() = default;

    // Copies the value's data into data, whatever its type. size is the buffer's capacity on the
    // way in and the data's length on the way out; when the buffer is too small the answer is
    // kRegErrMoreData with size set to the length needed (the buffer's contents are then
    // undefined). A null data asks for the length only. A missing value answers kRegErrNotFound
    // and leaves size alone. String data holds the text and one terminating NUL.
    virtual RegStatus QueryValue(const std::string& name, void* data, std::uint32_t& size) = 0;

    // Sets a string value (REG_SZ): the text and one NUL. Needs ERegAccess::All.
    virtual RegStatus SetStringValue(const std::string& name, const std::string& text) = 0;
};

// One key in a transaction. A writing transaction holds the current user's settings lock until
// the object is destroyed, so no other writing transaction of the user, in this process or
// another, runs meanwhile; a reading one sees one consistent state of the key (the backends say
// how). Reads see the values as they stood when the transaction began, with its own writes.
// Writes are kept back until Commit; destroying the object without committing stores none of
// them. Begin no transaction while another one of the same thread is alive: a second writer
// would wait for the first.
class CRegistryTransaction : public CRegistryKey {
public:
    // Stores every value set so far, together, creating the key when it is missing: kRegOk when
    // all were stored; otherwise none was (the store is as it was before the transaction).
    virtual RegStatus Commit() = 0;
};

// The current user's registry. Key paths are relative to HKEY_CURRENT_USER, parts separated by
// backslashes; key paths and value names compare without regard to case.
class CRegistry {
public:
    virtual ~CRegistry() = default;

    // Opens an existing key; kRegErrNotFound when it does not exist.
    virtual RegStatus OpenKey(const std::string& subKey, ERegAccess access,
                              std::unique_ptr<CRegistryKey>& key) = 0;

    // Opens the key with full access, creating it (and its parents) when missing.
    virtual RegStatus CreateKey(const std::string& subKey, std::unique_ptr<CRegistryKey>& key) = 0;

    // Takes the settings lock and opens the key in a transaction. With ERegAccess::Query the key
    // must exist (kRegErrNotFound otherwise) and values cannot be set; with ERegAccess::All a
    // missing key is created by Commit. A store that exists but cannot be read answers its
    // error, never kRegErrNotFound, so that a writer does not replace what it could not read.
    virtual RegStatus BeginTransaction(const std::string& subKey, ERegAccess access,
                                       std::unique_ptr<CRegistryTransaction>& transaction) = 0;

    // The last failure of this registry and of the keys opened through it, in words for the
    // user: what could not be read or written, and the system's reason.
    virtual std::string LastErrorText() const { return {}; }
};

// The platform's registry: the system registry on Windows, a per-user .reg file on Linux.
std::unique_ptr<CRegistry> OpenUserRegistry();
