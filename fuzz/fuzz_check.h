// What every fuzz target does when a property breaks; Linux test tool.
#pragma once

#include <cstdio>
#include <cstdlib>

// Names the broken property and aborts, so that libFuzzer keeps the input.
inline void Check(bool bOk, const char* what) {
    if (!bOk) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}
