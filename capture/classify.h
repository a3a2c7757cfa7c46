#pragma once
// Source address classification and playlist resolution.

namespace netgrab {

// Sets sourceKind and rewrites workingAddress/serverPort/pageCookie.
// 1 when classified, 0 when the address cannot be used.
int classifySource(const char* address);
// Resolves the ASX playlist named by workingAddress. 1 or 0 as above.
int resolveAsx();
// Fetch the playlist in workingAddress and capture the stream it names.
void resolveM3u(const char* address);
void resolvePls(const char* address);
// Text between the first two double quotes into out (384 bytes). 1 or 0.
int quotedValue(const char* text, char out[384]);

}  // namespace netgrab
