#include "framework/core/TimerBackend.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>
#endif

namespace iplug {
namespace timer_backend {

#ifdef _WIN32

namespace {
// Timers may be created on any UI thread; every one of them fires through the same function.
std::atomic<FireFunction> gFire{nullptr};

void CALLBACK SystemTimerProc(HWND, UINT, UINT_PTR timerId, DWORD)
{
    FireFunction fire = gFire.load(std::memory_order_acquire);
    // A thread timer can only be killed on the thread that owns it, and this is that thread:
    // a timer stopped elsewhere ends here, at its first tick after the stop.
    if (!fire || !fire(uintptr_t(timerId)))
        KillTimer(nullptr, timerId);
}
} // namespace

uintptr_t CreateSystemTimer(uint32_t periodMs, FireFunction fire)
{
    gFire.store(fire, std::memory_order_release);
    return uintptr_t(SetTimer(nullptr, 0, periodMs, SystemTimerProc));
}

void KillSystemTimer(uintptr_t timerId)
{
    // Fails on any other thread than the owner's; the owner's next tick then ends the timer.
    KillTimer(nullptr, UINT_PTR(timerId));
}

void RunMessageLoop(uint32_t durationMs)
{
    const ULONGLONG deadline = GetTickCount64() + durationMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(deadline - now), QS_ALLINPUT);
    }
}

#else

namespace {
using Clock = std::chrono::steady_clock;

struct PortableTimer
{
    uintptr_t id;
    std::chrono::milliseconds period;
    Clock::time_point due;
    std::thread::id owner;
    FireFunction fire;
};

struct PortableTimerTable
{
    std::mutex mutex;
    std::vector<PortableTimer> timers;
    uintptr_t lastId = 0;
};

PortableTimerTable& Table()
{
    static PortableTimerTable table;
    return table;
}
} // namespace

uintptr_t CreateSystemTimer(uint32_t periodMs, FireFunction fire)
{
    PortableTimerTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    // Like the system, a period of 0 still fires on every pass of the loop, not in a busy spin.
    const auto period = std::chrono::milliseconds(std::max<uint32_t>(periodMs, 1));
    const uintptr_t id = ++table.lastId;
    table.timers.push_back({id, period, Clock::now() + period, std::this_thread::get_id(), fire});
    return id;
}

void KillSystemTimer(uintptr_t timerId)
{
    PortableTimerTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.timers.erase(std::remove_if(table.timers.begin(), table.timers.end(),
                                      [timerId](const PortableTimer& t) { return t.id == timerId; }),
                       table.timers.end());
}

void RunMessageLoop(uint32_t durationMs)
{
    PortableTimerTable& table = Table();
    const auto deadline = Clock::now() + std::chrono::milliseconds(durationMs);
    const std::thread::id self = std::this_thread::get_id();
    std::vector<std::pair<uintptr_t, FireFunction>> due;
    for (;;) {
        auto wake = deadline;
        due.clear();
        {
            std::lock_guard<std::mutex> lock(table.mutex);
            const auto now = Clock::now();
            for (PortableTimer& t : table.timers) {
                if (t.owner != self)
                    continue;
                // A late timer fires once and starts a new period, as WM_TIMER does.
                if (t.due <= now) {
                    due.emplace_back(t.id, t.fire);
                    t.due = now + t.period;
                }
                wake = std::min(wake, t.due);
            }
        }
        // Fired outside the table lock: the fire function takes the timer registry's lock, and
        // a stop running on another thread takes them in the opposite order.
        for (const auto& [id, fire] : due)
            fire(id);
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        std::this_thread::sleep_until(std::min(wake, deadline));
    }
}

#endif

} // namespace timer_backend
} // namespace iplug
