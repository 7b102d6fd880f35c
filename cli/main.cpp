// marlowick-cli: the command line front end over the program's settings, search and upload;
// portable.
#include "cli/cli.h"

#include "discovery/device_list.h"
#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    std::unique_ptr<CRegistry> pRegistry = OpenUserRegistry();
    CCliContext ctx;
    ctx.pServices = CreateRealJobServices();
    ctx.pRegistry = pRegistry.get();
    ctx.pDeviceList = &g_DeviceList;
    ctx.pIn = &std::cin;
    ctx.pOut = &std::cout;
    ctx.pErr = &std::cerr;
    const std::vector<std::string> arrArgs(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int nExit = fnRunCli(arrArgs, ctx);
    if (ctx.bWorkLeftRunning) {
        // An upload still runs on a worker past its deadline: end here, without destroying the
        // libraries it is using.
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(nExit);
    }
    return nExit;
}
