// Reading a whole local file while others may read and write it; portable interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A file opened for reading with no share restriction. Errors are worded for the user, naming the
// file, and kept until the next call.
class CReadFile {
public:
    virtual ~CReadFile() = default;
    virtual bool Open(const std::string& path) = 0;
    virtual bool Length(std::uint64_t& length) = 0;
    // Reads up to size bytes; got is the count read (short only at the file's end).
    virtual bool Read(void* buffer, std::size_t size, std::size_t& got) = 0;
    virtual std::string ErrorText() const = 0;
};

std::unique_ptr<CReadFile> MakeReadFile();
