// Ordering, consumption and growth of the pending MIDI output.
#include "framework/vst3/MidiOutList.h"

#include <gtest/gtest.h>

#include <vector>

using iplug::IMidiEvent;
using iplug::MidiOutList;

namespace {

IMidiEvent Event(int offset, uint8_t tag)
{
    IMidiEvent e;
    e.sampleOffset = offset;
    e.status = 0x90;
    e.data1 = tag;
    return e;
}

std::vector<std::pair<int, int>> Drain(MidiOutList& list)
{
    std::vector<std::pair<int, int>> out;
    IMidiEvent e;
    while (list.Next(e))
        out.emplace_back(e.sampleOffset, e.data1);
    return out;
}

} // namespace

TEST(MidiOutList, KeepsOffsetOrderAndArrivalOrderForEqualOffsets)
{
    MidiOutList list;
    for (auto [offset, tag] : {std::pair{5, 1}, {3, 2}, {3, 3}, {9, 4}, {0, 5}})
        ASSERT_TRUE(list.Insert(Event(offset, uint8_t(tag))));
    const std::vector<std::pair<int, int>> expected{{0, 5}, {3, 2}, {3, 3}, {5, 1}, {9, 4}};
    EXPECT_EQ(Drain(list), expected);
}

TEST(MidiOutList, InsertsOnlyAmongUnreadEntriesAndShiftsWaitingOnesAfterABlock)
{
    MidiOutList list;
    list.Insert(Event(2, 1));
    list.Insert(Event(700, 2));
    IMidiEvent e;
    ASSERT_TRUE(list.Next(e));
    // Earlier than a consumed entry: still lands before the unread one, never among the consumed.
    list.Insert(Event(1, 3));
    EXPECT_EQ(list.At(0), nullptr);
    list.FinishBlock(512);
    EXPECT_EQ(list.ReadPosition(), 0);
    const std::vector<std::pair<int, int>> expected{{-511, 3}, {188, 2}};
    EXPECT_EQ(Drain(list), expected);
}

TEST(MidiOutList, GrowsByItsGranularityAndIsResizedForTheBlock)
{
    MidiOutList list;
    EXPECT_EQ(list.Capacity(), 512);
    for (int i = 0; i < 513; ++i)
        ASSERT_TRUE(list.Insert(Event(i, 0)));
    EXPECT_EQ(list.Capacity(), 1024);

    struct Case
    {
        int maxBlock;
        int expected;
    };
    for (Case c : {Case{1, 1024}, Case{2000, 2048}}) {
        list.PrepareFor(c.maxBlock);
        EXPECT_EQ(list.Capacity(), c.expected) << c.maxBlock;
        EXPECT_EQ(list.Count(), 513) << "waiting events survive a resize";
    }
    Drain(list);
    list.PrepareFor(64);
    EXPECT_EQ(list.Capacity(), 512);
    EXPECT_EQ(list.Count(), 0);
}
