#include "framework/core/IPlugProcessor.h"

#include <gtest/gtest.h>

#include <vector>

using namespace iplug;

namespace {

class TestProcessor : public IPlugProcessor
{
public:
    explicit TestProcessor(const char* io = "1-2 2-2", int latencySamples = 0, int kind = kPluginEffect)
        : IPlugProcessor(Describe(io, latencySamples, kind))
    {}

    bool SendMidiOut(const IMidiEvent& msg) override
    {
        sent.push_back(msg.status);
        return msg.status != 0xFF;
    }

    // Connects every channel and attaches the given 64-bit buffers.
    void AttachAll(std::vector<double*> ins, std::vector<double*> outs, int nFrames)
    {
        SetChannelsConnected(kInput, 0, int(ins.size()), true);
        SetChannelsConnected(kOutput, 0, int(outs.size()), true);
        AttachChannelBuffers(kInput, 0, int(ins.size()), ins.data(), nFrames);
        AttachChannelBuffers(kOutput, 0, int(outs.size()), outs.data(), nFrames);
    }

    std::vector<int> sent;

private:
    static IPlugDescriptor Describe(const char* io, int latencySamples, int kind)
    {
        IPlugDescriptor d;
        d.channelIoText = io;
        d.latency = latencySamples;
        d.pluginKind = kind;
        return d;
    }
};

TEST(DefaultProcessing, CopiesInputsAndSilencesOutputsWithoutOne)
{
    TestProcessor p("1-2");
    p.ResizeScratchBuffers(8);
    std::vector<double> in = {1, 2, 3, 4}, left(4, 9.0), right(4, 9.0);
    p.AttachAll({in.data()}, {left.data(), right.data()}, 4);
    p.ProcessAttachedBuffers(4);
    EXPECT_EQ(left, in);
    EXPECT_EQ(right, std::vector<double>(4, 0.0));
}

TEST(DefaultProcessing, InstrumentOutputsAreSilent)
{
    TestProcessor p("1-2", 0, kPluginInstrument);
    p.ResizeScratchBuffers(8);
    std::vector<double> in = {1, 2, 3, 4}, left(4, 9.0), right(4, 9.0);
    p.AttachAll({in.data()}, {left.data(), right.data()}, 4);
    p.ProcessAttachedBuffers(4);
    EXPECT_EQ(left, std::vector<double>(4, 0.0));
    EXPECT_EQ(right, std::vector<double>(4, 0.0));
}

TEST(DefaultProcessing, ThirtyTwoBitHostBuffersAreConvertedBothWays)
{
    TestProcessor p("2-2");
    p.ResizeScratchBuffers(16);
    std::vector<float> inL = {0.5f, -0.25f, 1.0f}, inR = {0.125f, 0.0f, -1.0f}, outL(3, 9.0f), outR(3, 9.0f);
    float* ins[] = {inL.data(), inR.data()};
    float* outs[] = {outL.data(), outR.data()};
    p.SetChannelsConnected(kInput, 0, 2, true);
    p.SetChannelsConnected(kOutput, 0, 2, true);
    p.AttachChannelBuffers32(kInput, 0, 2, ins, 3);
    p.AttachChannelBuffers32(kOutput, 0, 2, outs, 3);
    p.ProcessAttachedBuffers32(3);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);
}

TEST(DefaultProcessing, NotConnectedChannelsReadSilenceAndConsumeNoHostBuffer)
{
    TestProcessor p("2-2");
    p.ResizeScratchBuffers(8);
    std::vector<double> in = {1, 2}, left(2, 9.0), right(2, 9.0);
    double* ins[] = {in.data()};
    double* outs[] = {left.data(), right.data()};
    p.SetChannelsConnected(kInput, 0, 2, false);
    p.SetChannelsConnected(kInput, 1, 1, true); // only the second input is connected
    p.SetChannelsConnected(kOutput, 0, 2, true);
    EXPECT_EQ(p.CountConnectedChannels(kInput), 1);
    p.AttachChannelBuffers(kInput, 0, 2, ins, 2);
    p.AttachChannelBuffers(kOutput, 0, 2, outs, 2);
    p.ProcessAttachedBuffers(2);
    EXPECT_EQ(left, std::vector<double>(2, 0.0));
    EXPECT_EQ(right, in);
}

// Latency 3: 1, 2, 3, 4, 5 comes out as 0, 0, 0, 1, 2, whether the host passes separate
// buffers or one buffer for input and output.
TEST(Bypass, DelaysByTheLatencyInPlaceAndWithSeparateBuffers)
{
    for (bool inPlace : {false, true}) {
        TestProcessor p("1-2", 3);
        p.CreateLatencyDelay();
        p.ResizeScratchBuffers(8);
        std::vector<double> in = {1, 2, 3, 4, 5}, separate(5, 9.0), right(5, 9.0);
        double* out = inPlace ? in.data() : separate.data();
        p.AttachAll({in.data()}, {out, right.data()}, 5);
        p.PassThrough(5);
        EXPECT_EQ(std::vector<double>(out, out + 5), (std::vector<double>{0, 0, 0, 1, 2})) << "in place " << inPlace;
        // An output with no input to delay is silent rather than left as the host gave it.
        EXPECT_EQ(right, std::vector<double>(5, 0.0));

        std::vector<double> next = {6, 7}, nextOut(2, 9.0);
        double* out2 = inPlace ? next.data() : nextOut.data();
        p.AttachAll({next.data()}, {out2, right.data()}, 2);
        p.PassThrough(2);
        EXPECT_EQ(std::vector<double>(out2, out2 + 2), (std::vector<double>{3, 4})) << "in place " << inPlace;
    }
}

TEST(Bypass, WithoutLatencyCopiesEachInputToItsOutput)
{
    TestProcessor p("2-2");
    p.CreateLatencyDelay();
    p.ResizeScratchBuffers(8);
    std::vector<double> inL = {1, 2}, inR = {3, 4}, outL(2), outR(2);
    p.AttachAll({inL.data(), inR.data()}, {outL.data(), outR.data()}, 2);
    p.PassThrough(2);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);
}

TEST(Bypass, LatencyChangeRestartsTheDelayLine)
{
    TestProcessor p("1-1", 2);
    p.CreateLatencyDelay();
    p.ResizeScratchBuffers(8);
    std::vector<double> in = {1, 2, 3}, out(3);
    p.AttachAll({in.data()}, {out.data()}, 3);
    p.PassThrough(3);
    p.ChangeLatency(1);
    EXPECT_EQ(p.GetLatency(), 1);
    ASSERT_NE(p.GetLatencyDelay(), nullptr);
    EXPECT_EQ(p.GetLatencyDelay()->length, 1);
    std::vector<double> in2 = {4, 5}, out2(2);
    p.AttachAll({in2.data()}, {out2.data()}, 2);
    p.PassThrough(2);
    EXPECT_EQ(out2, (std::vector<double>{0, 4}));

    p.ChangeLatency(-5); // a negative latency means none
    EXPECT_EQ(p.GetLatency(), 0);
    p.PassThrough(2);
    EXPECT_EQ(out2, in2);
}

TEST(Bypass, NoDelayLineWithoutInputs)
{
    TestProcessor p("0-2", 4);
    p.CreateLatencyDelay();
    EXPECT_EQ(p.GetLatencyDelay(), nullptr);
}

// A block longer than the prepared block size leaves every connected output silent and writes
// nothing past the scratch buffers (the sanitizer build checks the latter).
TEST(OverlongBlock, EveryPathSilencesTheOutputs)
{
    constexpr int kPrepared = 16, kLong = 64;
    enum Path
    {
        kProcess64,
        kProcess32,
        kBypass64,
        kBypass32
    };
    for (Path path : {kProcess64, kProcess32, kBypass64, kBypass32}) {
        TestProcessor p("2-2", 3);
        p.CreateLatencyDelay();
        p.ResizeScratchBuffers(kPrepared);
        EXPECT_FALSE(p.BlockFits(kLong));
        p.SetChannelsConnected(kInput, 0, 2, true);
        p.SetChannelsConnected(kOutput, 0, 1, true);
        p.SetChannelsConnected(kOutput, 1, 1, false); // this one writes into its own scratch

        if (path == kProcess64 || path == kBypass64) {
            std::vector<double> inL(kLong, 1.0), inR(kLong, 1.0), out(kLong, 9.0);
            double* ins[] = {inL.data(), inR.data()};
            double* outs[] = {out.data()};
            p.AttachChannelBuffers(kInput, 0, 2, ins, kLong);
            p.AttachChannelBuffers(kOutput, 0, 2, outs, kLong);
            path == kProcess64 ? p.ProcessAttachedBuffers(kLong) : p.PassThrough(kLong);
            EXPECT_EQ(out, std::vector<double>(kLong, 0.0)) << path;
        } else {
            std::vector<float> inL(kLong, 1.0f), inR(kLong, 1.0f), out(kLong, 9.0f);
            float* ins[] = {inL.data(), inR.data()};
            float* outs[] = {out.data()};
            p.AttachChannelBuffers32(kInput, 0, 2, ins, kLong);
            p.AttachChannelBuffers32(kOutput, 0, 2, outs, kLong);
            path == kProcess32 ? p.ProcessAttachedBuffers32(kLong) : p.PassThrough32(kLong);
            EXPECT_EQ(out, std::vector<float>(kLong, 0.0f)) << path;
        }
    }
}

TEST(OverlongBlock, NothingFitsBeforeScratchBuffersArePrepared)
{
    TestProcessor p("1-1");
    EXPECT_EQ(p.GetBlockSize(), 0);
    std::vector<double> in(4, 1.0), out(4, 9.0);
    p.AttachAll({in.data()}, {out.data()}, 4);
    p.ProcessAttachedBuffers(4);
    EXPECT_EQ(out, std::vector<double>(4, 0.0));
}

TEST(ScratchBuffers, ResizingToTheSameSizeKeepsTheContents)
{
    TestProcessor p("1-1");
    p.ResizeScratchBuffers(4);
    IChannelSlot* slot = p.GetChannel(kInput, 0);
    slot->Scratch()[2] = 0.5;
    p.ResizeScratchBuffers(4);
    EXPECT_EQ(slot->Scratch()[2], 0.5);
    p.ClearScratchBuffers();
    EXPECT_EQ(slot->Scratch()[2], 0.0);
}

TEST(ScratchBuffers, NotConnectedChannelsFollowTheirScratchWhenItMoves)
{
    TestProcessor p("2-2");
    p.ResizeScratchBuffers(4);
    p.SetChannelsConnected(kInput, 0, 2, false);
    p.ResizeScratchBuffers(100000);
    for (int c = 0; c < 2; ++c) {
        IChannelSlot* slot = p.GetChannel(kInput, c);
        EXPECT_EQ(*slot->pointerEntry, slot->Scratch());
    }
    std::vector<double> left(100000, 9.0), right(100000, 9.0);
    double* outs[] = {left.data(), right.data()};
    p.SetChannelsConnected(kOutput, 0, 2, true);
    p.AttachChannelBuffers(kOutput, 0, 2, outs, 100000);
    p.ProcessAttachedBuffers(100000);
    EXPECT_EQ(left, std::vector<double>(100000, 0.0));
}

TEST(ProcessorDefaults, MidiThruAndListResult)
{
    TestProcessor p;
    IMidiEvent msg;
    msg.status = 0x90;
    p.HandleMidiEvent(msg);
    EXPECT_EQ(p.sent, std::vector<int>{0x90});

    IMidiEvent list[3];
    list[0].status = 0x80;
    list[1].status = 0xFF; // refused by this processor
    list[2].status = 0xB0;
    EXPECT_FALSE(p.SendMidiOutList(list, 3));
    EXPECT_EQ(p.sent.size(), 4u); // every event is still sent
    EXPECT_TRUE(p.SendMidiOutList(nullptr, 0));
    EXPECT_FALSE(p.SendSysexOut(ISysexEvent{}));
}

} // namespace
