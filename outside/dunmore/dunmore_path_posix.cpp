// Dunmore's log file under $XDG_STATE_HOME (else ~/.local/state); Linux backend.
#include "outside/dunmore/dunmore_path.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

std::filesystem::path DunmoreLogPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::filesystem::path base;
    if (state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "state";
    else
        return {};
    return base / "marlowick" / "marlowick.log";
}

std::FILE* DunmoreOpenForAppend(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    std::FILE* f = ::fdopen(fd, "a");
    if (!f)
        ::close(fd);
    return f;
}
