#include "plugin/vst3/SubBlockSlicer.h"

#include <gtest/gtest.h>

#include "tests/plugin/HostParamChanges.h"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct SubBlockSeen
{
    int32 start; // from the shifted channel pointer
    int32 frames;
    std::vector<std::pair<ParamID, double>> changes;
    double music;
    int64 samples;
};

// A host block of stereo 64-bit or 32-bit audio and what the slicer hands on from it.
struct SliceRig
{
    static constexpr int kFrames = 512;

    explicit SliceRig(bool is64 = true)
    {
        data.symbolicSampleSize = is64 ? kSample64 : kSample32;
        data.numSamples = kFrames;
        data.numInputs = 1;
        data.numOutputs = 1;
        for (int c = 0; c < 2; ++c) {
            inPtr[c] = is64 ? static_cast<void*>(in64[c]) : static_cast<void*>(in32[c]);
            outPtr[c] = is64 ? static_cast<void*>(out64[c]) : static_cast<void*>(out32[c]);
        }
        inBus.numChannels = 2;
        inBus.channelBuffers64 = reinterpret_cast<Sample64**>(inPtr);
        outBus.numChannels = 2;
        outBus.channelBuffers64 = reinterpret_cast<Sample64**>(outPtr);
        outBus.silenceFlags = 3;
        data.inputs = &inBus;
        data.outputs = &outBus;
        data.inputParameterChanges = &changes;
    }

    tresult Run(tresult answer = kResultOk)
    {
        return MarlquinVST3::SubBlockSlicer::Run(data, 48000.0, [&](ProcessData& sub) {
            handedOn.push_back(&sub == &data);
            SubBlockSeen seen;
            const ptrdiff_t sampleBytes = data.symbolicSampleSize == kSample64 ? 8 : 4;
            auto shift = [&](void* moved, void* original) {
                return static_cast<int32>((static_cast<char*>(moved) - static_cast<char*>(original)) / sampleBytes);
            };
            seen.start = shift(sub.outputs[0].channelBuffers64[1], outPtr[1]);
            EXPECT_EQ(shift(sub.inputs[0].channelBuffers64[0], inPtr[0]), seen.start);
            seen.frames = sub.numSamples;
            IParameterChanges* c = sub.inputParameterChanges;
            for (int32 q = 0; c && q < c->getParameterCount(); ++q) {
                IParamValueQueue* queue = c->getParameterData(q);
                int32 offset = -1;
                double value = 0.0;
                EXPECT_EQ(queue->getPoint(0, offset, value), kResultOk);
                EXPECT_EQ(offset, 0);
                seen.changes.emplace_back(queue->getParameterId(), value);
            }
            seen.music = sub.processContext ? sub.processContext->projectTimeMusic : -1.0;
            seen.samples = sub.processContext ? sub.processContext->projectTimeSamples : -1;
            blocks.push_back(seen);
            return answer;
        });
    }

    ProcessData data;
    HostParamChanges changes;
    AudioBusBuffers inBus, outBus;
    double in64[2][kFrames] = {}, out64[2][kFrames] = {};
    float in32[2][kFrames] = {}, out32[2][kFrames] = {};
    void* inPtr[2];
    void* outPtr[2];
    std::vector<SubBlockSeen> blocks;
    std::vector<bool> handedOn;
};

using Changes = std::vector<std::pair<ParamID, double>>;

TEST(SubBlockSlicer, CutsAtEveryChangeOffsetAndAppliesEachValueAtItsSubBlockStart)
{
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        SliceRig rig(is64);
        rig.changes.queues = {HostParamQueue(3, {{0, 0.1}, {100, 0.2}}), HostParamQueue(7, {{100, 0.3}, {300, 0.4}})};
        ASSERT_EQ(rig.Run(), kResultOk);
        ASSERT_EQ(rig.blocks.size(), 3u);
        EXPECT_EQ(rig.blocks[0].start, 0);
        EXPECT_EQ(rig.blocks[0].frames, 100);
        EXPECT_EQ(rig.blocks[0].changes, (Changes{{3, 0.1}}));
        EXPECT_EQ(rig.blocks[1].start, 100);
        EXPECT_EQ(rig.blocks[1].frames, 200);
        EXPECT_EQ(rig.blocks[1].changes, (Changes{{3, 0.2}, {7, 0.3}}));
        EXPECT_EQ(rig.blocks[2].start, 300);
        EXPECT_EQ(rig.blocks[2].frames, 212);
        EXPECT_EQ(rig.blocks[2].changes, (Changes{{7, 0.4}}));
        EXPECT_EQ(rig.outBus.silenceFlags, 0u);
    }
}

TEST(SubBlockSlicer, OddPointsOfAQueue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        const char* what;
        std::vector<std::pair<int32, double>> points;
        std::vector<int32> starts;
        std::vector<Changes> changes;
    };
    const Case cases[] = {
        {"no points", {}, {0}, {{}}},
        {"same offset twice: the later wins", {{50, 0.1}, {50, 0.2}}, {0, 50}, {{}, {{1, 0.2}}}},
        {"negative offset counts as 0", {{-5, 0.7}}, {0}, {{{1, 0.7}}}},
        {"offset at or past the end is never applied", {{512, 0.1}, {900, 0.2}}, {0}, {{}}},
        {"non-finite values neither apply nor cut", {{10, nan}, {20, inf}, {30, 0.5}}, {0, 30}, {{}, {{1, 0.5}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SliceRig rig;
        rig.changes.queues = {HostParamQueue(1, c.points)};
        ASSERT_EQ(rig.Run(), kResultOk);
        ASSERT_EQ(rig.blocks.size(), c.starts.size());
        for (size_t i = 0; i < c.starts.size(); ++i) {
            EXPECT_EQ(rig.blocks[i].start, c.starts[i]);
            EXPECT_EQ(rig.blocks[i].changes, c.changes[i]);
        }
    }
}

TEST(SubBlockSlicer, AtMost57ChangesReachOneSubBlockInQueueOrder)
{
    SliceRig rig;
    for (ParamID id = 0; id < 60; ++id)
        rig.changes.queues.emplace_back(id, std::vector<std::pair<int32, double>>{{0, 0.5}});
    ASSERT_EQ(rig.Run(), kResultOk);
    ASSERT_EQ(rig.blocks.size(), 1u);
    ASSERT_EQ(rig.blocks[0].changes.size(), 57u);
    EXPECT_EQ(rig.blocks[0].changes.back().first, 56u);
}

TEST(SubBlockSlicer, QueuesBeyondTheCursorsAndOutOfOrderQueuesStillCut)
{
    SliceRig rig;
    for (ParamID id = 0; id < 70; ++id)
        rig.changes.queues.emplace_back(id, std::vector<std::pair<int32, double>>{});
    rig.changes.queues[68].points = {{0, 0.1}, {200, 0.2}, {400, 0.3}};
    rig.changes.queues[2].points = {{300, 0.9}, {250, 0.8}};
    ASSERT_EQ(rig.Run(), kResultOk);
    std::vector<int32> starts;
    for (const SubBlockSeen& b : rig.blocks)
        starts.push_back(b.start);
    EXPECT_EQ(starts, (std::vector<int32>{0, 200, 300, 400}));
    EXPECT_EQ(rig.blocks[1].changes, (Changes{{68, 0.2}}));
    EXPECT_EQ(rig.blocks[3].changes, (Changes{{68, 0.3}}));
}

TEST(SubBlockSlicer, TransportMovesToEachSubBlockStartOnlyWhilePlaying)
{
    constexpr uint32 kPlaying = ProcessContext::kPlaying;
    constexpr uint32 kMusicValid = ProcessContext::kProjectTimeMusicValid;
    struct Case
    {
        const char* what;
        uint32 state;
        bool moves;
    };
    const Case cases[] = {
        {"playing", kPlaying | kMusicValid | ProcessContext::kTempoValid, true},
        {"stopped", kMusicValid | ProcessContext::kTempoValid, false},
        {"playing without musical time", kPlaying | ProcessContext::kTempoValid, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SliceRig rig;
        ProcessContext context{};
        context.state = c.state;
        context.sampleRate = 48000.0;
        context.tempo = 120.0;
        context.projectTimeMusic = 8.0;
        context.projectTimeSamples = 1000;
        rig.data.processContext = &context;
        rig.changes.queues = {HostParamQueue(0, {{256, 0.5}})};
        ASSERT_EQ(rig.Run(), kResultOk);
        ASSERT_EQ(rig.blocks.size(), 2u);
        EXPECT_EQ(rig.blocks[0].samples, 1000);
        EXPECT_EQ(rig.blocks[0].music, 8.0);
        EXPECT_EQ(rig.blocks[1].samples, c.moves ? 1256 : 1000);
        EXPECT_DOUBLE_EQ(rig.blocks[1].music, c.moves ? 8.0 + 256.0 * 120.0 / (48000.0 * 60.0) : 8.0);
        EXPECT_EQ(context.projectTimeMusic, 8.0) << "the host's context is left as it was";
    }
}

TEST(SubBlockSlicer, UnsliceableBlocksGoThroughUnchanged)
{
    struct Case
    {
        const char* what;
        void (*alter)(SliceRig&);
    };
    const Case cases[] = {
        {"no parameter changes", [](SliceRig& r) { r.data.inputParameterChanges = nullptr; }},
        {"no frames", [](SliceRig& r) { r.data.numSamples = 0; }},
        {"two input buses", [](SliceRig& r) { r.data.numInputs = 2; }},
        {"four-channel bus", [](SliceRig& r) { r.outBus.numChannels = 4; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SliceRig rig;
        rig.changes.queues = {HostParamQueue(1, {{100, 0.5}})};
        c.alter(rig);
        std::vector<const ProcessData*> seen;
        MarlquinVST3::SubBlockSlicer::Run(rig.data, 48000.0, [&](ProcessData& d) {
            seen.push_back(&d);
            return kResultOk;
        });
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0], &rig.data);
    }
}

TEST(SubBlockSlicer, AFailingSubBlockEndsTheCall)
{
    SliceRig rig;
    rig.changes.queues = {HostParamQueue(1, {{100, 0.5}, {200, 0.6}})};
    EXPECT_EQ(rig.Run(kResultFalse), kResultFalse);
    EXPECT_EQ(rig.blocks.size(), 1u);
    EXPECT_EQ(rig.outBus.silenceFlags, 3u);
}

TEST(SubBlockSlicer, SinglePointQueueAnswersOnlyItsPoint)
{
    MarlquinVST3::Point point;
    point.id = 9;
    point.value = 0.25;
    int32 offset = 77;
    double value = 1.0;
    EXPECT_EQ(point.getPoint(1, offset, value), kInvalidArgument);
    EXPECT_EQ(offset, 77);
    EXPECT_EQ(point.getPoint(0, offset, value), kResultOk);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(value, 0.25);
    void* obj = &point;
    EXPECT_EQ(point.queryInterface(IParamValueQueue::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);

    MarlquinVST3::Changes changes;
    changes.Add(9, 0.25);
    EXPECT_EQ(changes.getParameterData(1), nullptr);
    EXPECT_EQ(changes.getParameterData(-1), nullptr);
    int32 index = 0;
    EXPECT_EQ(changes.addParameterData(9, index), nullptr);
    EXPECT_EQ(changes.getParameterCount(), 1);
}

} // namespace
