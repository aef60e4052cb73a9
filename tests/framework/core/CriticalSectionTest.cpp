#include "framework/core/CriticalSection.h"
#include "framework/core/ScopedSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using iplug::CriticalSection;
using iplug::ScopedSection;

namespace {

TEST(CriticalSection, ScopedSectionsSerialiseThreads)
{
    CriticalSection section;
    long counter = 0; // deliberately not atomic: only the lock protects it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                ScopedSection lock(section);
                const long seen = counter;
                counter = seen + 1;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 80000);
}

TEST(CriticalSection, OwnerMayEnterAgainOthersMayNot)
{
    CriticalSection section;
    ScopedSection outer(section);
    {
        ScopedSection inner(section); // re-entry by the owner does not deadlock
        EXPECT_TRUE(section.TryEnter());
        section.Leave();
    }
    std::atomic<bool> otherGotIt{true};
    std::thread other([&] {
        otherGotIt = section.TryEnter();
        if (otherGotIt)
            section.Leave();
    });
    other.join();
    EXPECT_FALSE(otherGotIt);
}

TEST(CriticalSection, ScopedSectionLeavesWhenUnwinding)
{
    CriticalSection section;
    try {
        ScopedSection lock(section);
        throw 1;
    } catch (int) {
    }
    std::atomic<bool> otherGotIt{false};
    std::thread other([&] {
        otherGotIt = section.TryEnter();
        if (otherGotIt)
            section.Leave();
    });
    other.join();
    EXPECT_TRUE(otherGotIt);
}

} // namespace
