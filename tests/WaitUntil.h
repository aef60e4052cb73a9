#pragma once

#include <chrono>
#include <thread>

// Waiting in a test for something another thread, a timer or the message queue brings about.
// A test waits for the thing itself, however slowly a busy machine lets it come, never for a
// count of steps or a fixed sleep tuned to one machine's speed.
namespace test_wait {

// Long enough that only a hang reaches it, even on two busy cores under Wine or a sanitizer.
constexpr std::chrono::milliseconds kHangLimit{300000};
// The same in the milliseconds that system waits take.
constexpr int kHangMs = static_cast<int>(kHangLimit.count());

// Runs step() until done() answers true or the limit has passed; answers done().
template <class Done, class Step>
bool WaitUntil(Done&& done, Step&& step, std::chrono::milliseconds limit = kHangLimit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        step();
    }
    return true;
}

// The same, sleeping a millisecond between questions (for a flag another thread sets).
template <class Done>
bool WaitUntil(Done&& done, std::chrono::milliseconds limit = kHangLimit)
{
    return WaitUntil(
        done, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }, limit);
}

} // namespace test_wait
