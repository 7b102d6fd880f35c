// The device search and the account check over UDP broadcast; portable.
#pragma once

#include "discovery/device_list.h"

#include <cstdint>
#include <string_view>

class CNet;

// Counts request datagrams for the program's life; its low 16 bits go into each request.
// Starting the socket library sets it to 0.
extern std::uint32_t g_nRequestSequence;

// Start and stop of the socket library around every use of fnSearchDevice; the main window
// starts it when it opens and stops it when it goes.
bool fnStartSockets();
void fnStopSockets();
bool fnStartSockets(CNet& net);
void fnStopSockets(CNet& net);

// bSearch true: asks every local network for its devices and adds the new ones to list
// (known ones are refreshed); true unless a socket operation failed. bSearch false: asks the
// device at position nIndex of list whether strUser and strPassword make a valid account; true
// once that device accepted, from its own address and with its own MAC. Blocks about 2 seconds
// after the last valid reply, and never more than 10 seconds.
bool fnSearchDevice(CDeviceList& list, bool bSearch, int nIndex, std::string_view strUser,
                    std::string_view strPassword);

// How the routine runs; the product uses the defaults.
struct CSearchOptions {
    // A pass over one local address ends after this much time without a valid reply...
    int nSilenceMs = 2000;
    // ...and after this much time in all, however busy the network.
    int nPassLimitMs = 10000;
    // Runs the passes one after another, each to its silence, an account check included: the
    // slow way, kept as the reference that measurements compare with.
    bool bOneAfterAnother = false;
};

// fnSearchDevice over the given socket library.
bool fnSearchDevice(CNet& net, const CSearchOptions& options, CDeviceList& list, bool bSearch,
                    int nIndex, std::string_view strUser, std::string_view strPassword);
