#pragma once
// The portal's page / reference / stream request sequence.

namespace netgrab {

void capturePortal(char* address, const char* cookie);
int portalLookup(char* address, const char* cookie);
int portalDescribe(const char* address, const char* cookie);
void portalPlay(const char* address, const char* cookie);
void splitHostPath(const char* text, char* host, int hostCap, char* path, int pathCap);
int findAfterMarker(const char* marker, char* out, int outCap);

}  // namespace netgrab
