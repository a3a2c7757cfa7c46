#pragma once
// netgrab: records one network audio stream into a file.
//
// The only public header of the capture library. A client calls netgrab()
// on a worker thread; it blocks until StopRecord() is called from another
// thread. GetRecBytes() and GetRecError() may be called at any time.

#if defined(_WIN32)
#define NETGRAB_API __declspec(dllexport)
#define NETGRAB_CALL __stdcall
#else
#define NETGRAB_API __attribute__((visibility("default")))
#define NETGRAB_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Error codes returned by GetRecError() (and by netgrab() for NG_ERR_NET_START).
// Values are part of the interface: append new ones, never renumber.
enum NetgrabError {
    NG_ERR_NONE = 0,               // attempt running, nothing went wrong
    NG_ERR_FILE_OPEN = -1,         // the output file cannot be opened
    NG_ERR_NO_MPEG_SYNC = -2,      // HTTP audio answer holds no MPEG frame start
    NG_ERR_RECEIVE = -3,           // receive failed / server closed / no answer
    NG_ERR_REFUSED = -4,           // server refused or sent something not recorded
    NG_ERR_NO_STREAM_HEADER = -5,  // MMS-over-HTTP answer without "$H" chunk
    NG_ERR_NET_START = -100,       // socket layer could not be started
    NG_ERR_STOPPED = -101,         // a capture loop ended on a stop request
    NG_ERR_INTERNAL = -102,        // the library failed inside (out of memory, a fault)
    NG_ERR_UNTRUSTED = -6,         // the server's TLS certificate failed verification
    NG_ERR_CONTENT_TYPE = -7       // the answer's content type is not one that is recorded
};

#ifdef __cplusplus
}  // extern "C"

// In C++ the exports are declared inside namespace netgrab_api (their
// linkage stays C, the symbols are plain "netgrab", "StopRecord", ...).
// The library's own code and its tests (NETGRAB_INTERNAL) use the name
// netgrab for their C++ namespace, which may not share the global scope with
// a function of that name: there the capture call is netgrab_api::netgrab.
namespace netgrab_api {
extern "C" {
#endif

// Records `source` into `outputName` + ".mp3", ".aac", ".ogg", ".opus" or
// ".wma" (as the stream's format says) until StopRecord().
// Returns 0 after the stop, NG_ERR_NET_START, or NG_ERR_INTERNAL when the
// library failed inside (GetRecError() then says so too).
NETGRAB_API int NETGRAB_CALL netgrab(const char *source, const char *outputName);
// Asks the running capture to stop; returns at once.
NETGRAB_API void NETGRAB_CALL StopRecord(void);
// Bytes recorded, as each capture route counts them.
NETGRAB_API int NETGRAB_CALL GetRecBytes(void);
// The last error code (enum NetgrabError).
NETGRAB_API int NETGRAB_CALL GetRecError(void);

#ifdef __cplusplus
}  // extern "C"
}  // namespace netgrab_api
#if !defined(NETGRAB_INTERNAL)
using netgrab_api::netgrab;
#endif
using netgrab_api::StopRecord;
using netgrab_api::GetRecBytes;
using netgrab_api::GetRecError;
#endif
