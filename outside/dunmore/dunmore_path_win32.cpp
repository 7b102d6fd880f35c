// Dunmore's log file under %LOCALAPPDATA%\Marlowick; Windows backend.
#include "outside/dunmore/dunmore_path.h"

#include <cstdlib>

std::filesystem::path DunmoreLogPath() {
    const char* local = std::getenv("LOCALAPPDATA");
    if (!local || !*local)
        return {};
    return std::filesystem::path(local) / "Marlowick" / "marlowick.log";
}

std::FILE* DunmoreOpenForAppend(const std::filesystem::path& path) {
    return _wfopen(path.c_str(), L"ab");
}
