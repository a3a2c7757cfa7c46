#pragma once
// Demo streams: MP3 made from tones with ffmpeg into a cache folder on
// first use, then sent to each listener in a loop at the stream's bitrate.

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "asf_loop.h"

namespace stationdir {

constexpr int kToneBitrate = 128000;  // bits per second
constexpr std::size_t kToneBytesPerSecond = kToneBitrate / 8;
// The Windows Media demo: WMA v2 at 64 kbit/s, a loop of this many seconds.
constexpr int kWmaSeconds = 64;

class ToneLibrary
{
public:
    // cacheDir is created when missing; ffmpeg is the program to run
    // (looked up in PATH when it has no "/").
    ToneLibrary(std::string cacheDir, std::string ffmpeg);

    // The MP3 bytes for a tone of hz (whole MPEG frames, no tags, loopable),
    // made on first use and kept in memory; nullptr when ffmpeg fails.
    std::shared_ptr<const std::string> mp3(int hz);
    // The same tones as a Windows Media stream cut into its broadcast
    // header and packets, made on first use; nullptr when ffmpeg fails.
    std::shared_ptr<const AsfLoop> wma(int hz);

    const std::string &cacheDir() const { return cacheDir_; }

private:
    bool make(int hz, const std::string &path, bool wma);

    std::string cacheDir_;
    std::string ffmpeg_;
    std::mutex mutex_;
    std::map<int, std::shared_ptr<const std::string>> loaded_;
    std::map<int, std::shared_ptr<const AsfLoop>> loadedWma_;
};

// Paces a looping byte source: a listener gets an initial burst (so the
// player starts quickly), then bytes at the stream's rate.
class Pacer
{
public:
    using Clock = std::chrono::steady_clock;
    Pacer(std::size_t bytesPerSecond, std::size_t burst, Clock::time_point start)
        : rate_(bytesPerSecond),
          burst_(burst),
          start_(start)
    {
    }

    // Bytes that may be sent by time now, given sent so far.
    std::size_t allowance(std::size_t sent, Clock::time_point now) const;
    // When the next `chunk` bytes become due.
    Clock::time_point dueTime(std::size_t sent, std::size_t chunk) const;

private:
    std::size_t rate_;
    std::size_t burst_;
    Clock::time_point start_;
};

}  // namespace stationdir
