#pragma once
// MMS over TCP (port 1755 by default).

namespace netgrab {

// -1 when the HTTP route is to be tried instead, otherwise 0.
int captureMmsTcp(const char* address);

}  // namespace netgrab
