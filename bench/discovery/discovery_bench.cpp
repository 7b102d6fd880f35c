// Time of a search and an account check, 1 and 4 local addresses, at once and one by one; bench.
#include "discovery/search.h"
#include "loopback.h"

#include <benchmark/benchmark.h>

#include <string>

// Runs against devices answering on loopback, each from an address of its own: every local
// address is 127.0.0.1 and the discovery broadcast is redirected to both responders, so each pass
// meets both devices and the full silence of the product applies.
namespace {

const CTestDevice kA{{2, 0, 0, 0, 0, 0xA}, "NAS-A", MakeIPv4(127, 0, 9, 1), "alice", "pw-a"};
const CTestDevice kB{{2, 0, 0, 0, 0, 0xB}, "NAS-B", MakeIPv4(127, 0, 9, 2), "bob", "pw-b"};

void RunDiscovery(benchmark::State& state, bool bSearch, int nAddresses, bool bOneAfterAnother) {
    CResponderSetup setup;
    setup.bOwnAddresses = true;
    CLoopbackResponder responder(GetNet(), {kA, kB}, setup);
    if (responder.Endpoints().size() != 2) {
        state.SkipWithError("loopback responder could not start");
        return;
    }
    CRedirectNet net(GetNet(), std::vector<std::uint32_t>(std::size_t(nAddresses), kLoopback),
                     responder.Endpoints());
    CSearchOptions options;
    options.bOneAfterAnother = bOneAfterAnother;
    CDeviceList list;
    list.AddTail(NAS_DEVICE_INFO{{2, 0, 0, 0, 0, 0xB}, "NAS-B", kB.nIp});
    bool bResult = false;
    for (auto _ : state)
        bResult = bSearch ? fnSearchDevice(net, options, list, true, 0, "", "")
                          : fnSearchDevice(net, options, list, false, 0, "bob", "pw-b");
    if (!bResult)
        state.SkipWithError("the routine failed");
    state.counters["devices"] = list.GetCount();
    state.counters["requests"] = responder.RequestsSeen();
}

void Register() {
    for (const bool bSearch : {true, false})
        for (const int nAddresses : {1, 4})
            for (const bool bOneAfterAnother : {false, true}) {
                const std::string name = std::string(bSearch ? "search" : "account_check") + "/" +
                                         std::to_string(nAddresses) + "_addresses/" +
                                         (bOneAfterAnother ? "one_after_another" : "at_once");
                benchmark::RegisterBenchmark(name.c_str(), RunDiscovery, bSearch, nAddresses,
                                             bOneAfterAnother)
                    ->Iterations(1)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
            }
}

} // namespace

int main(int argc, char** argv) {
    if (!fnStartSockets())
        return 1;
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fnStopSockets();
    return 0;
}
