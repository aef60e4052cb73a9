#pragma once

#include <chrono>

// How long a test waits for something that has to happen: far beyond any delay that a busy
// machine explains, so that only a hang reaches it. A test waits for the thing itself and uses
// the deadline only to stop waiting for what never comes.
class Deadline
{
public:
    static constexpr int kHangMs = 60000;

    explicit Deadline(int ms = kHangMs) : end(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)) {}

    bool Passed() const { return std::chrono::steady_clock::now() >= end; }

    // Checks the condition, running the pause between checks (a sleep, a message pump), until it
    // holds or the deadline passes; true when it holds.
    template <class Condition, class Pause>
    static bool Until(Condition&& condition, Pause&& pause, int ms = kHangMs)
    {
        const Deadline deadline(ms);
        for (;;) {
            if (condition())
                return true;
            if (deadline.Passed())
                return condition();
            pause();
        }
    }

private:
    std::chrono::steady_clock::time_point end;
};
