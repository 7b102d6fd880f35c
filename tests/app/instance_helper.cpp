// Creates the single-instance guard and reports it; Linux test helper.
#include "app/single_instance.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

// instance_helper hold|try: prints "held" or "refused"; "hold" then keeps the guard until its
// standard input ends.
int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    CLimitSingleInstance guard(kSingleInstanceMutexName);
    const bool refused = guard.IsAnotherInstanceRunning();
    std::puts(refused ? "refused" : "held");
    std::fflush(stdout);
    if (!refused && std::strcmp(argv[1], "hold") == 0) {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
    }
    return 0;
}
