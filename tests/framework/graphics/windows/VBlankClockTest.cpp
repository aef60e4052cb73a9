#include "framework/graphics/windows/VBlankClock.h"
#include "tests/WaitUntil.h"

#include <gtest/gtest.h>

#include <vector>

namespace iplug::igraphics {
namespace {

// Simulated time: only Sleep advances it, so every run is exact.
struct FakeSystem : VBlankClock::System
{
    bool hasFunctions = true;
    bool adapterOpens = true;
    bool waitSucceeds = true;
    // Post "delivers" the message to a UI thread that takes it at once.
    VBlankClock::State* takeMessagesOf = nullptr;
    double waitMs = 16.0;
    double now = 5000.0;
    double stopAtMs = 1e9;
    VBlankClock::State* state = nullptr;
    bool* destroyed = nullptr;

    int opens = 0, closes = 0, waits = 0, frees = 0;
    std::vector<double> postTimes;
    std::vector<WPARAM> postedCounts;

    ~FakeSystem() override
    {
        if (destroyed)
            *destroyed = true;
    }
    bool LoadFunctions() override { return hasFunctions; }
    void FreeFunctions() override { ++frees; }
    bool OpenAdapter(HWND, uint32_t& adapter, uint32_t& source) override
    {
        ++opens;
        adapter = 7;
        source = 1;
        return adapterOpens;
    }
    bool WaitForVBlank(uint32_t adapter, uint32_t source) override
    {
        EXPECT_EQ(adapter, 7u);
        ++waits;
        Advance(waitMs);
        return waitSucceeds;
    }
    void CloseAdapter(uint32_t adapter) override
    {
        EXPECT_EQ(adapter, 7u);
        ++closes;
    }
    void Sleep(DWORD ms) override { Advance(ms); }
    DWORD TickCount() override { return static_cast<DWORD>(now); }
    double NowMs() override { return now; }
    bool Post(HWND, UINT message, WPARAM count) override
    {
        EXPECT_EQ(message, VBlankClock::kRedrawMessage);
        postTimes.push_back(now);
        postedCounts.push_back(count);
        if (takeMessagesOf)
            takeMessagesOf->pending.store(false);
        return true;
    }
    void Advance(double ms)
    {
        now += ms;
        if (now >= stopAtMs)
            state->stop.store(true);
    }
};

struct Rig
{
    FakeSystem* system = new FakeSystem;
    VBlankClock::State state{nullptr, std::unique_ptr<VBlankClock::System>(system)};
    explicit Rig(double runMs)
    {
        system->state = &state;
        system->stopAtMs = system->now + runMs;
        system->takeMessagesOf = &state;
    }
};

TEST(VBlankClockTest, WithoutTheSystemWaitItPostsEvery16Ms)
{
    Rig rig(160);
    rig.system->hasFunctions = false;
    VBlankClock::Run(rig.state);
    // Ten sleeps; the stop comes in the tenth, whose tick posts nothing.
    ASSERT_EQ(rig.system->postTimes.size(), 9u);
    for (size_t i = 1; i < rig.system->postTimes.size(); ++i)
        EXPECT_NEAR(rig.system->postTimes[i] - rig.system->postTimes[i - 1], 16.0, 1e-9);
    EXPECT_EQ(rig.system->postedCounts.back(), 9u);
    EXPECT_EQ(rig.system->opens, 0);
    EXPECT_EQ(rig.system->frees, 1);
}

TEST(VBlankClockTest, AFailedAdapterIsRetriedAtMostOnceASecondWhileTicksGoOn)
{
    Rig rig(2500);
    rig.system->adapterOpens = false;
    VBlankClock::Run(rig.state);
    EXPECT_EQ(rig.system->opens, 3) << "at 0, after 1 s and after 2 s";
    EXPECT_EQ(rig.system->waits, 0);
    EXPECT_NEAR(static_cast<double>(rig.system->postTimes.size()), 2500.0 / 16.0, 2.0);
}

TEST(VBlankClockTest, AFailedWaitClosesTheAdapterAndReopensOnTheNextPass)
{
    Rig rig(100);
    rig.system->waitSucceeds = false;
    VBlankClock::Run(rig.state);
    EXPECT_EQ(rig.system->opens, rig.system->waits);
    EXPECT_EQ(rig.system->closes, rig.system->waits);
    EXPECT_GT(rig.system->waits, 1);
}

TEST(VBlankClockTest, AnOpenAdapterIsClosedWhenTheThreadEnds)
{
    Rig rig(100);
    VBlankClock::Run(rig.state);
    EXPECT_EQ(rig.system->opens, 1);
    EXPECT_EQ(rig.system->closes, 1);
    EXPECT_EQ(rig.system->postTimes.size() + 1, static_cast<size_t>(rig.system->waits))
        << "every blank is posted but the one the stop came in";
}

TEST(VBlankClockTest, AWaitThatReturnsAtOnceStillKeepsTheMinimumInterval)
{
    Rig rig(100);
    rig.system->waitMs = 0.0;
    VBlankClock::Run(rig.state);
    ASSERT_GT(rig.system->postTimes.size(), 2u);
    for (size_t i = 1; i < rig.system->postTimes.size(); ++i)
        EXPECT_GE(rig.system->postTimes[i] - rig.system->postTimes[i - 1], VBlankClock::kMinIntervalMs);
}

// A UI thread blocked in a modal loop or a long paint takes no messages: the queue must
// not fill up with redraw messages meanwhile.
TEST(VBlankClockTest, OnlyOneRedrawMessageIsQueuedWhileTheUIThreadIsBusy)
{
    Rig rig(1600);
    rig.system->takeMessagesOf = nullptr;
    VBlankClock::Run(rig.state);
    EXPECT_EQ(rig.system->postTimes.size(), 1u);
    EXPECT_EQ(rig.state.count.load(), 100u) << "blanks are still counted";
    rig.state.pending.store(false);
    rig.state.stop.store(false);
    rig.system->stopAtMs = rig.system->now + 32;
    VBlankClock::Run(rig.state);
    EXPECT_EQ(rig.system->postTimes.size(), 2u);
    EXPECT_EQ(rig.system->postedCounts.back(), 101u);
}

// A system whose sleep outlasts the stop's wait: the thread keeps running on its own
// share of the state after the clock gave up on it.
struct SlowSystem : FakeSystem
{
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE sleeping = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~SlowSystem() override
    {
        CloseHandle(release);
        CloseHandle(sleeping);
    }
    bool LoadFunctions() override { return false; }
    void Sleep(DWORD) override
    {
        if (thread)
            *thread = GetCurrentThreadId();
        SetEvent(sleeping);
        WaitForSingleObject(release, test_wait::kHangMs);
    }
    bool Post(HWND, UINT, WPARAM) override { return true; }
    DWORD* thread = nullptr;
};

TEST(VBlankClockTest, StateOutlivesATimedOutStop)
{
    bool destroyed = false;
    auto* slow = new SlowSystem;
    slow->destroyed = &destroyed;
    DWORD slowThread = 0;
    slow->thread = &slowThread;
    const HANDLE release = slow->release;
    const HANDLE sleeping = slow->sleeping;
    {
        VBlankClock clock;
        ASSERT_TRUE(clock.Start(nullptr, std::unique_ptr<VBlankClock::System>(slow)));
        EXPECT_TRUE(clock.IsRunning());
        ASSERT_EQ(WaitForSingleObject(sleeping, test_wait::kHangMs), WAIT_OBJECT_0);
        clock.Stop(20);
        EXPECT_FALSE(clock.IsRunning());
        EXPECT_FALSE(destroyed) << "the thread still holds the state";
        SetEvent(release);
    }
    EXPECT_TRUE(test_wait::WaitUntil([&] { return destroyed; }));
    // A thread that has ended can still be opened by its id while any handle to it is open; the
    // clock closes its handle once the thread has ended.
    const auto threadHandleOpen = [slowThread] {
        HANDLE stillOpen = OpenThread(SYNCHRONIZE, FALSE, slowThread);
        if (stillOpen)
            CloseHandle(stillOpen);
        return stillOpen != nullptr;
    };
    EXPECT_TRUE(test_wait::WaitUntil([&] { return !threadHandleOpen(); })) << "the thread handle is closed";
}

} // namespace
} // namespace iplug::igraphics
