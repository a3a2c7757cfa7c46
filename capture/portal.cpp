// Stand-in until the portal route is built.
#include "portal.h"

#include <cstdio>

namespace netgrab {

void capturePortal(char*, const char*) { std::printf("Portal capture is not built yet\n"); }
int portalLookup(char*, const char*) { return 0; }
int portalDescribe(const char*, const char*) { return -1; }
void portalPlay(const char*, const char*) {}
void splitHostPath(const char*, char* host, int, char* path, int) { host[0] = path[0] = '\0'; }
int findAfterMarker(const char*, char*, int) { return 0; }

}  // namespace netgrab
