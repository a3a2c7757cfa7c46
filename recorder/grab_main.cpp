// grabclock / grablive: record one stream for a given time.
//
//   grabclock [--ca-file FILE] <source address> <output name without extension> <milliseconds>
//
// --ca-file trusts the CA certificates in FILE (PEM) for https sources, in
// addition to the system's trust store (for a private server); the library
// reads it from NETGRAB_CA_FILE.
//
// The capture runs on a worker thread inside netgrab(); the main thread
// sleeps for the duration, asks the capture to stop, waits the settle time
// and prints the byte count. The two installed programs differ only in the
// settle time (GRAB_SETTLE_MS). SIGTERM or SIGINT (the player ends a live
// recording that way) stops the capture early: the program waits at most the
// settle time for netgrab() to close its file, reports and exits with 0.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "netgrab.h"

#ifndef GRAB_SETTLE_MS
#error "GRAB_SETTLE_MS (the settle wait in milliseconds) must be defined"
#endif

namespace {

// Argument buffers. The source and the duration are cut to fit (the
// library refuses sources over 255 characters itself); the output name is
// taken up to the library's own limit and refused beyond it, since a name
// cut short names another file (a cut behind a '/' even a hidden one).
char g_source[512];
char g_outputName[512];
char g_duration[12];

constexpr std::chrono::milliseconds kStopRepeat(50);

std::mutex g_mutex;
std::condition_variable g_wake;
bool g_captureReturned = false;
bool g_terminated = false;

void copyArgument(char *dst, size_t cap, const char *src)
{
    size_t n = strnlen(src, cap - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void captureThread()
{
    netgrab(g_source, g_outputName);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_captureReturned = true;
    g_wake.notify_all();
}

// Receives SIGTERM/SIGINT synchronously (they are blocked in every thread),
// so nothing runs in signal-handler context.
void signalThread(sigset_t set)
{
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_terminated = true;
    g_wake.notify_all();
}

// Duration text as the C library reads it: strtol base 10, clamped to a
// signed 32-bit value, then taken as an unsigned number of milliseconds.
uint32_t durationMs(const char *text)
{
    errno = 0;
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

}  // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A scheduled recorder may outlive the player that reads its output: a
    // closed pipe must not kill it before it has closed its file.
    signal(SIGPIPE, SIG_IGN);
    if (argc >= 3 && std::strcmp(argv[1], "--ca-file") == 0) {
        setenv("NETGRAB_CA_FILE", argv[2], 1);  // before any thread is started
        argv += 2;
        argc -= 2;
    }
    if (argc < 4) {
        std::printf("use : netgrab url rec_file_name\n");
        return 0;
    }
    if (std::strlen(argv[2]) >= sizeof g_outputName) {
        std::printf("output name too long: at most %d characters\n", static_cast<int>(sizeof g_outputName - 1));
        return 1;
    }
    copyArgument(g_source, sizeof g_source, argv[1]);
    copyArgument(g_outputName, sizeof g_outputName, argv[2]);
    copyArgument(g_duration, sizeof g_duration, argv[3]);

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // inherited by both threads
    std::thread(signalThread, stopSignals).detach();
    std::thread(captureThread).detach();

    const auto duration = std::chrono::milliseconds(durationMs(g_duration));
    const auto settle = std::chrono::milliseconds(GRAB_SETTLE_MS);
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        g_wake.wait_for(lock, duration, [] { return g_terminated; });
    }
    {
        // The full settle time, as callers expect; after a termination
        // signal only until the capture has closed its file. The stop is
        // repeated until netgrab() has returned: a stop that comes before
        // netgrab() has started belongs, for the library, to an earlier
        // capture and would be lost.
        const auto deadline = std::chrono::steady_clock::now() + settle;
        std::unique_lock<std::mutex> lock(g_mutex);
        for (;;) {
            if (!g_captureReturned)
                StopRecord();
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                break;
            const auto slice = std::min<std::chrono::steady_clock::duration>(deadline - now, kStopRepeat);
            if (g_wake.wait_for(lock, slice, [] { return g_terminated && g_captureReturned; }))
                break;
        }
    }
    std::printf("record : %d bytes\n", GetRecBytes());
    std::fflush(stdout);
    // The worker may still be inside netgrab(): end the process without
    // running destructors under its feet.
    std::_Exit(0);
}
