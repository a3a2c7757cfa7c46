#pragma once
// The portal's page / reference / stream request sequence.

namespace netgrab {

struct CaptureState;

void capturePortal(CaptureState &s, char *address, const char *cookie);
int portalLookup(CaptureState &s, char *address, const char *cookie);
int portalDescribe(CaptureState &s, const char *address, const char *cookie);
void portalPlay(CaptureState &s, const char *address, const char *cookie);
void splitHostPath(const char *text, char *host, int hostCap, char *path, int pathCap);
// The value after marker in answer, up to a quote or the line end, into
// out (cut to outCap). 1, or 0 when the marker is not there.
int findAfterMarker(const char *answer, const char *marker, char *out, int outCap);
// True when a portal answer is a redirect ("302 Redirect", "302 Moved",
// "301 Moved").
bool portalAnswerRedirects(const char *answer);
// Host (port cut off) and path "/..." of a stream address host/path.
void streamHostPath(const char *address, char *host, int hostCap, char *path, int pathCap);

}  // namespace netgrab
