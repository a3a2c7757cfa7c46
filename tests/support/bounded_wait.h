#pragma once
// Bounds for tests that wait for something to happen (a process to end, a
// file to grow, a server to answer) and a polling wait for a condition.
//
// A test waits for something observable, never for a fixed time, and gives
// it far more time than the program's own limit: the suite runs on busy
// machines (parallel builds on two cores, sanitizer builds several times
// slower), where starting a process or scheduling a thread can take
// seconds. A wait that succeeds returns as soon as its condition holds, so a
// generous bound costs nothing on a quiet machine.

#include <chrono>
#include <thread>

namespace testwait {

// What a wait allows beyond the limit the program itself keeps.
constexpr int kLoadMarginMs = 10000;

// The media engine (libVLC) opening a stream, buffering it and decoding its
// first audio, where the source may first be made (the station directory
// makes its tones with ffmpeg): a second or two on a quiet machine, up to
// 33 s seen at a load of 24 on two cores.
constexpr int kEngineMs = 50000 + kLoadMarginMs;

// A recorder asked to stop closes its file within its settle wait; the
// player forces it after its grace period. A test waiting for the end of a
// stopped recorder allows both and the margin.
constexpr int recorderEndMs(int settleMs, int graceMs)
{
    return settleMs + graceMs + kLoadMarginMs;
}

// Polls cond() every few milliseconds until it holds (true) or timeoutMs
// have passed (false).
template <typename Condition>
bool waitUntil(Condition cond, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace testwait
