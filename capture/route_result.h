#pragma once
// How a capture route ended, for the attempt loop.

#include "capture_state.h"

namespace netgrab {

enum class RouteResult {
    Done,            // the route ran (recorded, or the stream ended or stopped)
    FurtherAddress,  // the answer named another address (handed back): classify it
    TryHttp,         // no MMS stream could be set up: the HTTP route may serve it
    Failed,          // nothing to record here; lastError says why
};

// The address a route hands back with RouteResult::FurtherAddress.
struct FurtherAddress
{
    char text[kWorkingAddressSize] = "";
};

}  // namespace netgrab
