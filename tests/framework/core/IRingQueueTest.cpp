#include "framework/core/IRingQueue.h"
#include "framework/core/QueueRecords.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

using iplug::IMidiEvent;
using iplug::IRingQueue;

namespace {

IMidiEvent Note(int n)
{
    IMidiEvent e;
    e.sampleOffset = n;
    e.status = 0x90;
    e.data1 = uint8_t(n & 0x7f);
    e.data2 = 100;
    return e;
}

TEST(IRingQueue, KeepsOneSlotFreeAndDropsWhenFull)
{
    IRingQueue<IMidiEvent> queue(32);
    EXPECT_EQ(queue.Capacity(), 32);
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(queue.Push(Note(i))) << i;
    EXPECT_FALSE(queue.Push(Note(99)));
    EXPECT_EQ(queue.Count(), 32);

    IMidiEvent out;
    ASSERT_TRUE(queue.Pop(out));
    EXPECT_EQ(out.sampleOffset, 0);
    EXPECT_TRUE(queue.Push(Note(32)));
    EXPECT_FALSE(queue.Push(Note(33)));

    for (int i = 1; i <= 32; ++i) {
        ASSERT_TRUE(queue.Pop(out));
        EXPECT_EQ(out.sampleOffset, i); // the dropped entries never appear
    }
    EXPECT_FALSE(queue.Pop(out));
    EXPECT_EQ(queue.Count(), 0);
}

TEST(IRingQueue, CountIsRightAcrossTheWrap)
{
    IRingQueue<iplug::QueuedParamValue> queue(32); // 33 slots
    iplug::QueuedParamValue v;
    for (int i = 0; i < 30; ++i) {
        queue.Push(v);
        queue.Pop(v);
    }
    for (int i = 0; i < 5; ++i)
        queue.Push(v); // write index wraps to 2 while the read index is 30
    EXPECT_EQ(queue.Count(), 5);
    for (int i = 0; i < 27; ++i)
        EXPECT_TRUE(queue.Push(v));
    EXPECT_FALSE(queue.Push(v));
    EXPECT_EQ(queue.Count(), 32);
}

TEST(IRingQueue, DegenerateCapacitiesHoldNothingAndNeverFault)
{
    for (int capacity : {0, -3}) {
        IRingQueue<IMidiEvent> queue(capacity);
        IMidiEvent out;
        EXPECT_FALSE(queue.Push(Note(1)));
        EXPECT_FALSE(queue.Pop(out));
        EXPECT_EQ(queue.Count(), 0);
        EXPECT_EQ(queue.Capacity(), 0);
    }
}

TEST(IRingQueue, OneProducerOneConsumerKeepOrder)
{
    IRingQueue<iplug::QueuedParamValue> queue(4);
    constexpr int kCount = 100000;
    std::thread producer([&] {
        for (int i = 0; i < kCount;) {
            iplug::QueuedParamValue v;
            v.paramIdx = i;
            v.value = i * 0.5;
            if (queue.Push(v))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    int expected = 0;
    bool inOrder = true;
    while (expected < kCount) {
        iplug::QueuedParamValue v;
        if (!queue.Pop(v)) {
            std::this_thread::yield();
            continue;
        }
        inOrder = inOrder && v.paramIdx == expected && v.value == expected * 0.5;
        ++expected;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}

TEST(SysexQueueEntry, BuiltFromEvents)
{
    iplug::SysexQueueEntry entry;
    iplug::ISysexEvent noData;
    noData.sampleOffset = 12;
    noData.size = 6;
    entry.data[0] = 0x55;
    ASSERT_TRUE(iplug::MakeSysexQueueEntry(noData, entry));
    EXPECT_EQ(entry.size, 6);
    EXPECT_EQ(entry.sampleOffset, 12);
    for (uint8_t b : entry.data)
        ASSERT_EQ(b, 0);

    std::vector<uint8_t> bytes(600, 0xf0);
    iplug::ISysexEvent tooLong{0, 600, bytes.data()};
    EXPECT_FALSE(iplug::MakeSysexQueueEntry(tooLong, entry));
    iplug::ISysexEvent negative{0, -1, bytes.data()};
    EXPECT_FALSE(iplug::MakeSysexQueueEntry(negative, entry));

    iplug::ISysexEvent full{3, 512, bytes.data()};
    ASSERT_TRUE(iplug::MakeSysexQueueEntry(full, entry));
    const iplug::ISysexEvent back = iplug::SysexEventFor(entry);
    EXPECT_EQ(back.size, 512);
    EXPECT_EQ(back.data, entry.data);
    EXPECT_EQ(back.data[511], 0xf0);

    IRingQueue<iplug::SysexQueueEntry> queue(4);
    EXPECT_TRUE(queue.Push(entry));
    iplug::SysexQueueEntry popped;
    ASSERT_TRUE(queue.Pop(popped));
    EXPECT_EQ(popped.sampleOffset, 3);
    EXPECT_EQ(popped.data[200], 0xf0);
}

} // namespace
