// Whole-file reading with shared access; Windows backend of platform/file.h.
#include "platform/file.h"

#include <windows.h>

#include <algorithm>

namespace {

class CWin32ReadFile final : public CReadFile {
public:
    ~CWin32ReadFile() override {
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
    }

    bool Open(const std::string& path) override {
        m_strPath = path;
        m_hFile = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile == INVALID_HANDLE_VALUE) {
            // A directory cannot be opened this way; say what it is rather than "access denied".
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                m_strError = "A file error occurred with " + m_strPath +
                             ": it is a directory, not a regular file.";
                SetLastError(error);
                return false;
            }
            SetLastError(error);
            return Fail();
        }
        // A device (NUL, CON, COM1) or a pipe has no length to announce and may never end.
        const DWORD type = GetFileType(m_hFile);
        if (type != FILE_TYPE_DISK) {
            m_strError = "A file error occurred with " + m_strPath + ": it is " +
                         (type == FILE_TYPE_PIPE ? "a pipe" : "a device") + ", not a regular file.";
            return false;
        }
        return true;
    }

    bool Length(std::uint64_t& length) override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_hFile, &size))
            return Fail();
        length = static_cast<std::uint64_t>(size.QuadPart);
        return true;
    }

    bool Read(void* buffer, std::size_t size, std::size_t& got) override {
        got = 0;
        auto* p = static_cast<char*>(buffer);
        while (got < size) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
            DWORD n = 0;
            if (!ReadFile(m_hFile, p + got, chunk, &n, nullptr))
                return Fail();
            if (n == 0)
                break;
            got += n;
        }
        return true;
    }

    std::string ErrorText() const override { return m_strError; }

private:
    bool Fail() {
        const DWORD code = GetLastError();
        char* text = nullptr;
        const DWORD n =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        std::string reason = n && text ? std::string(text, n) : std::to_string(code);
        if (text)
            LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        m_strError = "A file error occurred with " + m_strPath + ": " + reason;
        SetLastError(code);
        return false;
    }

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::string m_strPath;
    std::string m_strError;
};

} // namespace

std::unique_ptr<CReadFile> MakeReadFile() {
    return std::make_unique<CWin32ReadFile>();
}
