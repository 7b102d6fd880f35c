// Test helper: prints the command that opens an extension, as the program's lookup over Halvery
// reports it, in a process of its own (GIO reads the associations once per process); portable.
#include "app/app_services.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string strCommand = CreateHalveryLookup()->GetHandlerCommand(argv[1]);
    std::printf("%s\n", strCommand.c_str());
    return strCommand.empty() ? 1 : 0;
}
