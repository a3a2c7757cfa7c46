#pragma once
// The stop request of one capture: set by StopRecord() from another thread,
// read by the capture's loops and waits (relaxed: a loop sees it at its next
// look), with a signal that wakes the pause between attempts at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace netgrab {

class StopRequest
{
public:
    bool pending() const { return requested_.load(std::memory_order_relaxed) != 0; }
    // Sets (or, between captures and in tests, clears) the request; setting
    // it wakes a wait().
    void set(bool on = true)
    {
        requested_.store(on ? 1 : 0, std::memory_order_relaxed);
        if (!on)
            return;
        // Taking the lock orders this notification after a waiter's check,
        // so a waiter cannot miss it.
        {
            std::lock_guard<std::mutex> lock(mutex_);
        }
        signal_.notify_all();
    }
    void clear() { set(false); }
    // Sleeps up to ms milliseconds, waking at once on a request. True when
    // a stop is pending.
    bool wait(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return signal_.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return pending(); });
    }

private:
    std::atomic<int32_t> requested_{0};
    std::mutex mutex_;
    std::condition_variable signal_;
};

}  // namespace netgrab
