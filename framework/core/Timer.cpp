#include "framework/core/Timer.h"

#include "framework/core/CriticalSection.h"
#include "framework/core/ExceptionBarrier.h"
#include "framework/core/PointerList.h"
#include "framework/core/ScopedSection.h"
#include "framework/core/TimerBackend.h"

namespace iplug {

class Timer_impl;

namespace {

// Process-wide list of running timers; created on first use and freed at process exit.
struct TimerRegistry
{
    CriticalSection section;
    PointerList<Timer_impl> timers;
};

TimerRegistry& Registry()
{
    static TimerRegistry registry;
    return registry;
}

} // namespace

class Timer_impl final : public Timer
{
public:
    Timer_impl(Callback cb, uint32_t period) : callback(std::move(cb)), periodMs(period) {}

    ~Timer_impl() override { Stop(); }

    void Stop() override
    {
        TimerRegistry& registry = Registry();
        ScopedSection lock(registry.section);
        if (timerId == 0)
            return;
        timer_backend::KillSystemTimer(timerId);
        registry.timers.RemoveAt(registry.timers.Find(this));
        timerId = 0;
    }

    // Called with the registry lock held.
    void StartSystemTimer()
    {
        TimerRegistry& registry = Registry();
        timerId = timer_backend::CreateSystemTimer(periodMs, &Timer_impl::Fire);
        if (timerId == 0)
            return;
        const int before = registry.timers.Count();
        registry.timers.Append(this);
        // A timer the registry cannot hold would fire into nothing; it does not run instead.
        if (registry.timers.Count() == before) {
            timer_backend::KillSystemTimer(timerId);
            timerId = 0;
        }
    }

    // The system timer's callback. An id that is no longer registered (a timer stopped after
    // its message was queued, or stopped on another thread) runs nothing and answers false.
    static bool Fire(uintptr_t id)
    {
        TimerRegistry& registry = Registry();
        ScopedSection lock(registry.section);
        for (int i = 0; i < registry.timers.Count(); ++i) {
            Timer_impl* timer = registry.timers.Get(i);
            if (timer->timerId != id)
                continue;
            // The callback may delete its own timer; it runs from a copy so that nothing of the
            // timer is touched once it returns. Nothing it throws may unwind into the system's
            // timer dispatch: a tick that failed is simply over, and the timer goes on.
            ExceptionBarrier::Run([timer] {
                Callback run = timer->callback;
                if (run)
                    run(*timer);
            });
            return true;
        }
        return false;
    }

private:
    uintptr_t timerId = 0;
    Callback callback;
    uint32_t periodMs;
};

std::unique_ptr<Timer> Timer::Create(Callback callback, uint32_t periodMs)
{
    auto timer = std::make_unique<Timer_impl>(std::move(callback), periodMs);
    TimerRegistry& registry = Registry();
    ScopedSection lock(registry.section);
    timer->StartSystemTimer();
    return timer;
}

void Timer::RunMessageLoop(uint32_t durationMs)
{
    timer_backend::RunMessageLoop(durationMs);
}

int Timer::RunningCount()
{
    TimerRegistry& registry = Registry();
    ScopedSection lock(registry.section);
    return registry.timers.Count();
}

} // namespace iplug
