#include "framework/core/IPlugProcessor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace iplug;

namespace {

// Layouts rendered as text to compare whole parses at once: "1-2" per layout, buses joined by ".".
std::string Describe(const PointerList<IBusLayout>& layouts)
{
    std::string out;
    for (int i = 0; i < layouts.Count(); ++i) {
        if (i)
            out += ' ';
        for (int direction : {int(kInput), int(kOutput)}) {
            const PointerList<IBusSpec>& buses = layouts.Get(i)->Buses(direction);
            for (int b = 0; b < buses.Count(); ++b) {
                EXPECT_EQ(buses.Get(b)->direction, direction);
                const int n = buses.Get(b)->channelCount;
                out += (b ? "." : "") + (n == kWildcardChannels ? std::string("*") : std::to_string(n));
            }
            if (direction == kInput)
                out += '-';
        }
    }
    return out;
}

struct ParseCase
{
    const char* text;
    int configs;
    std::string layouts;
    int maxIn, maxOut, maxInBuses, maxOutBuses;
};

TEST(ChannelConfig, ParsesConfigurationsIntoBusLayouts)
{
    const ParseCase cases[] = {
        {"1-2 2-2", 2, "1-2 2-2", 2, 2, 1, 1},
        {"*-2", 1, "*-2", 0, 2, 1, 1}, // the wildcard counts -64 into the total
        {"0-2", 1, "-2", 0, 2, 0, 1},
        {"2.1-2", 1, "2.1-2", 3, 2, 2, 1},
        {"  1-1   2.2-2  ", 2, "1-1 2.2-2", 4, 2, 2, 1},
        {"2", 1, "2-", 2, 0, 1, 0},   // no "-": no output side
        {"x-2", 1, "-2", 0, 2, 0, 1}, // a token that is no number reads as 0
        {"", 0, "", 0, 0, 0, 0},
        {"99999-2", 1, "1024-2", 1024, 2, 1, 1}, // counts are bounded
    };
    for (const ParseCase& c : cases) {
        PointerList<IBusLayout> layouts;
        int maxIn = -1, maxOut = -1, maxInBuses = -1, maxOutBuses = -1;
        EXPECT_EQ(IPlugProcessor::ParseChannelIoConfig(c.text, layouts, maxIn, maxOut, maxInBuses, maxOutBuses),
                  c.configs)
            << c.text;
        EXPECT_EQ(Describe(layouts), c.layouts) << c.text;
        EXPECT_EQ(maxIn, c.maxIn) << c.text;
        EXPECT_EQ(maxOut, c.maxOut) << c.text;
        EXPECT_EQ(maxInBuses, c.maxInBuses) << c.text;
        EXPECT_EQ(maxOutBuses, c.maxOutBuses) << c.text;
        layouts.DeleteAll();
    }
}

class Processor : public IPlugProcessor
{
public:
    explicit Processor(const char* io) : IPlugProcessor(Describe(io)) {}
    bool SendMidiOut(const IMidiEvent&) override { return true; }

private:
    static IPlugDescriptor Describe(const char* io)
    {
        IPlugDescriptor d;
        d.channelIoText = io;
        return d;
    }
};

TEST(ChannelConfig, ConstructorMakesOneChannelRecordPerChannelOfTheWidestSide)
{
    Processor p("1-2 2-2");
    EXPECT_EQ(p.NLayouts(), 2);
    EXPECT_EQ(p.NChannels(kInput), 2);
    EXPECT_EQ(p.NChannels(kOutput), 2);
    EXPECT_EQ(p.GetChannel(kInput, -1), nullptr);
    EXPECT_EQ(p.GetChannel(kOutput, 2), nullptr);
    EXPECT_EQ(p.CountConnectedChannels(kInput), 0);
}

TEST(ChannelConfig, FindsTheLayoutWithExactlyTheseBuses)
{
    Processor p("1-2 2-2");
    const int one[] = {1}, two[] = {2}, oneOne[] = {1, 1};
    EXPECT_EQ(p.FindLayoutIndex(two, 1, two, 1), 1);
    EXPECT_EQ(p.FindLayoutIndex(one, 1, two, 1), 0);
    EXPECT_EQ(p.FindLayoutIndex(oneOne, 2, two, 1), -1);
    EXPECT_EQ(p.FindLayoutIndex(two, 1, one, 1), -1);
    EXPECT_EQ(p.FindLayoutIndex(nullptr, 0, two, 1), -1);
}

TEST(ChannelConfig, BusCountsAndChannelsPerBus)
{
    Processor sidechain("2-2 2.1-2");
    int layoutIdx = -1;
    EXPECT_EQ(sidechain.MaxBusesInDirection(kInput, layoutIdx), 2);
    EXPECT_EQ(layoutIdx, 1);
    EXPECT_EQ(sidechain.MaxBusesInDirection(kOutput, layoutIdx), 1);
    EXPECT_EQ(layoutIdx, 1); // the last layout with that many
    EXPECT_EQ(sidechain.MaxChannelsOnBus(kInput, 0), 2);
    EXPECT_EQ(sidechain.MaxChannelsOnBus(kInput, 1), 1);
    EXPECT_EQ(sidechain.MaxChannelsOnBus(kInput, -1), 0);

    Processor wildcard("*-2");
    EXPECT_EQ(wildcard.MaxChannelsOnBus(kInput, 0), -1);
    EXPECT_EQ(wildcard.MaxChannelsOnBus(kOutput, 0), 2);

    Processor none("");
    EXPECT_EQ(none.MaxBusesInDirection(kInput, layoutIdx), 0);
    EXPECT_EQ(layoutIdx, 0);
    EXPECT_EQ(none.MaxChannelsOnBus(kOutput, 0), 0);
}

struct LabelCase
{
    int direction, busIdx, busCount;
    const char* label;
};

TEST(ChannelConfig, BusLabels)
{
    Processor p("1-2");
    const LabelCase cases[] = {
        {kInput, 0, 1, "Input"},   {kInput, 0, 2, "Main"},      {kInput, 1, 2, "Aux"},       {kInput, 2, 3, "Input 2"},
        {kOutput, 0, 1, "Output"}, {kOutput, 2, 3, "Output 2"}, {kOutput, 0, 2, "Output 0"},
    };
    for (const LabelCase& c : cases) {
        TextBuffer label;
        p.GetBusLabel(c.direction, c.busIdx, c.busCount, label);
        EXPECT_STREQ(label.Get(), c.label) << c.direction << " " << c.busIdx << "/" << c.busCount;
    }
}

} // namespace
