#include "framework/core/Timer.h"
#include "tests/WaitUntil.h"
#include "tests/framework/core/TestPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace testplugin;

namespace {

// Runs this thread's timers until done() answers true, or until a hang has run out the time.
template <class Done>
bool RunMessageLoopUntil(Done&& done)
{
    return test_wait::WaitUntil(done, [] { Timer::RunMessageLoop(5); });
}

TEST(Timer, FiresWhileTheCreatingThreadRunsItsMessageLoop)
{
    int fired = 0;
    Timer* seen = nullptr;
    std::unique_ptr<Timer> timer = Timer::Create(
        [&](Timer& t) {
            ++fired;
            seen = &t;
        },
        10);
    EXPECT_EQ(fired, 0); // nothing fires outside the loop
    RunMessageLoopUntil([&] { return fired >= 3; });
    EXPECT_GE(fired, 3);
    EXPECT_EQ(seen, timer.get());
}

TEST(Timer, StoppedOrDestroyedTimerNeverFiresAgain)
{
    const int before = Timer::RunningCount();
    int fired = 0;
    std::unique_ptr<Timer> timer = Timer::Create([&](Timer&) { ++fired; }, 5);
    EXPECT_EQ(Timer::RunningCount(), before + 1);
    timer->Stop();
    timer->Stop(); // a stopped timer stops as a no-op
    EXPECT_EQ(Timer::RunningCount(), before);
    Timer::RunMessageLoop(60);
    EXPECT_EQ(fired, 0);

    std::unique_ptr<Timer> second = Timer::Create([&](Timer&) { ++fired; }, 5);
    second.reset();
    Timer::RunMessageLoop(60);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(Timer::RunningCount(), before);
}

TEST(Timer, CallbackMayStopItsOwnTimer)
{
    int fired = 0;
    std::unique_ptr<Timer> timer;
    timer = Timer::Create(
        [&](Timer&) {
            ++fired;
            timer.reset();
        },
        5);
    RunMessageLoopUntil([&] { return fired > 0; });
    Timer::RunMessageLoop(60);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timer, nullptr);
}

// The owner of a timer goes away on another thread while the timer's thread keeps running its
// loop: once the destructor has returned, the callback must never run again.
TEST(Timer, CallbackNeverRunsAfterItsOwnerDiedOnAnotherThread)
{
    for (int round = 0; round < 5; ++round) {
        struct Owner
        {
            std::atomic<bool> alive{true};
            std::atomic<int> ticks{0};
            std::unique_ptr<Timer> timer;
        };
        auto owner = std::make_unique<Owner>();
        std::atomic<bool> ranAfterDeath{false};
        std::atomic<bool> created{false};
        std::atomic<bool> stop{false};
        Owner* raw = owner.get();

        std::thread ui([&] {
            raw->timer = Timer::Create(
                [raw, &ranAfterDeath](Timer&) {
                    // Long enough for the owner's thread to try stopping the timer mid-callback.
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    if (!raw->alive.load())
                        ranAfterDeath = true;
                    raw->ticks.fetch_add(1);
                },
                1);
            created = true;
            while (!stop)
                Timer::RunMessageLoop(5);
        });
        while (!created)
            std::this_thread::yield();
        while (raw->ticks.load() < 3)
            std::this_thread::yield();

        raw->timer.reset();
        raw->alive = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
        ui.join();
        EXPECT_FALSE(ranAfterDeath) << "round " << round;
    }
}

#ifdef _WIN32
// A thread timer can only be ended on its own thread; stopped from another one, it must still
// end, not keep posting ticks to its thread for ever.
TEST(Timer, StoppedFromAnotherThreadLeavesNoSystemTimerBehind)
{
    std::unique_ptr<Timer> timer;
    std::atomic<int> step{0};
    int fired = 0;
    int firedAfterStop = -1;
    bool tickStillQueued = true;
    std::thread ui([&] {
        timer = Timer::Create([&](Timer&) { ++fired; }, 5);
        RunMessageLoopUntil([&] { return fired > 0; });
        step = 1;
        while (step.load() != 2)
            std::this_thread::yield();
        const int before = fired;
        Timer::RunMessageLoop(40);
        firedAfterStop = fired - before;
        // Long enough for several periods: a living system timer would have queued a tick.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        MSG msg;
        tickStillQueued = PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE) != 0;
    });
    while (step.load() != 1)
        std::this_thread::yield();
    EXPECT_GT(fired, 0);
    timer->Stop();
    step = 2;
    ui.join();
    EXPECT_EQ(firedAfterStop, 0);
    EXPECT_FALSE(tickStillQueued);
}
#endif

// A tick that throws must not unwind into the system's timer dispatch; the timer goes on.
TEST(Timer, ACallbackThatThrowsEndsItsTickAndTheTimerGoesOn)
{
    int fired = 0;
    std::unique_ptr<Timer> timer = Timer::Create(
        [&](Timer&) {
            ++fired;
            throw std::runtime_error("tick failed");
        },
        5);
    EXPECT_NO_THROW(RunMessageLoopUntil([&] { return fired >= 2; }));
    EXPECT_GE(fired, 2);
}

TEST(IdleTimer, StartingTwiceLeavesOneRunningTimerThatTicksThePlugin)
{
    const int before = Timer::RunningCount();
    TestPlugin plugin;
    EXPECT_FALSE(plugin.IdleTimerRunning());
    plugin.StartIdleTimer();
    plugin.StartIdleTimer();
    EXPECT_EQ(Timer::RunningCount(), before + 1);
    RunMessageLoopUntil([&] { return plugin.idleTicks >= 2; });
    EXPECT_GE(plugin.idleTicks, 2);
    plugin.StopIdleTimer();
    EXPECT_EQ(Timer::RunningCount(), before);
}

TEST(IdleTimer, NoTickAfterThePluginIsDestroyed)
{
    const int before = Timer::RunningCount();
    {
        TestPlugin plugin;
        plugin.StartIdleTimer();
        Timer::RunMessageLoop(60);
    }
    EXPECT_EQ(Timer::RunningCount(), before);
    // Any tick queued for the destroyed plug-in is dropped here (the sanitizer build would catch
    // a call into the freed object).
    Timer::RunMessageLoop(60);
}

} // namespace
