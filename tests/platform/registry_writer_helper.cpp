// Writes numbered values into a registry file, one open and close per value; Linux test helper.
#include "platform/posix/registry_regfile.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// registry_writer_helper <file> <prefix> <count>: sets <prefix>N = "value N" for N < count.
int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        auto registry = OpenRegFileRegistry(argv[1]);
        std::unique_ptr<CRegistryKey> key;
        if (registry->CreateKey("SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0", key) != kRegOk ||
            key->SetStringValue(argv[2] + std::to_string(i), "value " + std::to_string(i)) !=
                kRegOk) {
            std::fprintf(stderr, "write %d failed\n", i);
            return 1;
        }
    }
    return 0;
}
