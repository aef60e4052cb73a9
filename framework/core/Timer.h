#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace iplug {

// A repeating timer that fires on the thread that created it, while that thread runs its
// message loop. Every running timer of the process sits in one registry behind one lock;
// creating, stopping and firing take that lock, and a callback runs while it is held, so once
// Stop (or the destructor) has returned on any thread the callback never runs again.
class Timer
{
public:
    using Callback = std::function<void(Timer&)>;

    // Always returns a timer; one the system could not create never fires and stops as a no-op.
    static std::unique_ptr<Timer> Create(Callback callback, uint32_t periodMs);

    // Runs the calling thread's message loop for about durationMs, firing its due timers. Hosts
    // and the standalone program run their own loop; this serves tools and tests.
    static void RunMessageLoop(uint32_t durationMs);

    // Number of timers of the process that are running.
    static int RunningCount();

    virtual ~Timer() = default;
    virtual void Stop() = 0;

protected:
    Timer() = default;
};

} // namespace iplug
