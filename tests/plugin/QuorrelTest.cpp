#include "plugin/Quorrel.h"

#include "engine/EffectEngine.h"
#include "framework/vst3/IPlugVST3ParamIds.h"
#include "plugin/state/StateChunk.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/plugin/HostRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <pmmintrin.h>
#include <thread>
#include <xmmintrin.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

class QuorrelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        rig = MakeRig(plugin);
    }

    static std::unique_ptr<HostRig> MakeRig(Quorrel*& out)
    {
        out = new Quorrel();
        auto made = std::make_unique<HostRig>(static_cast<IAudioProcessor*>(out));
        EXPECT_TRUE(made->Initialize());
        return made;
    }

    static void SetPlain(HostRig& r, int idx, double plain)
    {
        ASSERT_EQ(r.SetParam(static_cast<ParamID>(idx), r.ToNormalized(static_cast<ParamID>(idx), plain)), kResultOk);
    }

    // LOOPS with freeze on, fed until the loop has stopped recording and published itself.
    static void FreezeLoop(HostRig& r, Quorrel& q)
    {
        SetPlain(r, kMode, 2);
        SetPlain(r, kLoopFreeze, 1);
        for (int i = 0; i < 4000 && !q.LoopFrozen(); ++i)
            ASSERT_EQ(r.Process(kBlock), kResultOk);
        ASSERT_TRUE(q.LoopFrozen());
        r.Process(kBlock);
    }

    Quorrel* plugin = nullptr;
    std::unique_ptr<HostRig> rig;
};

TEST_F(QuorrelTest, ProcessesLikeTheBareEngineAndFeedsAMonoInputToBothSides)
{
    for (int inputs : {2, 1}) {
        SCOPED_TRACE(inputs == 2 ? "stereo input" : "mono input");
        Quorrel* q = nullptr;
        std::unique_ptr<HostRig> r = MakeRig(q);
        SpeakerArrangement in = inputs == 2 ? SpeakerArr::kStereo : SpeakerArr::kMono, out = SpeakerArr::kStereo;
        ASSERT_EQ(r->processor->setBusArrangements(&in, 1, &out, 1), kResultTrue);
        r->inputChannels = inputs;
        ASSERT_EQ(r->Start(kRate, kBlock), kResultOk);
        SetPlain(*r, kMode, 1);
        SetPlain(*r, kDrive, 0.6);
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(r->Process(kBlock), kResultOk);

        auto engine = std::make_unique<EffectEngine>();
        engine->Prepare(kRate, kBlock);
        for (int i = 0; i < kParamCount; ++i)
            engine->SetParam(i, q->CachedParam(i));
        engine->SetTempo(120.0);
        std::vector<float> l(kBlock), rr(kBlock), ol(kBlock), orr(kBlock);
        double music = 0.0;
        for (int b = 0; b < 20; ++b) {
            for (int f = 0; f < kBlock; ++f) {
                l[f] = static_cast<float>(r->inL[b * kBlock + f]);
                rr[f] = inputs == 2 ? static_cast<float>(r->inR[b * kBlock + f]) : l[f];
            }
            engine->SetHostPosition(music);
            engine->Process(l.data(), rr.data(), ol.data(), orr.data(), kBlock);
            music += kBlock * 120.0 / (kRate * 60.0);
            for (int f = 0; f < kBlock; f += 37) {
                ASSERT_EQ(r->outL[b * kBlock + f], static_cast<double>(ol[f])) << b << ":" << f;
                ASSERT_EQ(r->outR[b * kBlock + f], static_cast<double>(orr[f])) << b << ":" << f;
            }
        }
    }
}

TEST_F(QuorrelTest, BlocksItIsNotPreparedForAreSilent)
{
    std::vector<double> in(kBlock + 1, 0.5), outL(kBlock + 1, 9.0), outR(kBlock + 1, 9.0);
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {outL.data(), outR.data()};
    plugin->ProcessAudioBlock(ins, outs, 64);
    EXPECT_EQ(outL[0], 0.0) << "before the first processing reset";
    EXPECT_EQ(outR[63], 0.0);

    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        ASSERT_EQ(rig->Start(kRate, kBlock, is64), kResultOk);
        std::fill(outL.begin(), outL.end(), 9.0);
        plugin->ProcessAudioBlock(ins, outs, kBlock + 1);
        EXPECT_EQ(outL[kBlock], 0.0);
        rig->outL.clear();
        ASSERT_EQ(rig->Process(kBlock + 1), kResultOk);
        EXPECT_EQ(rig->outL, std::vector<double>(kBlock + 1, 0.0));
        rig->outL.clear();
        ASSERT_EQ(rig->Process(kBlock), kResultOk);
        EXPECT_NE(rig->outL, std::vector<double>(kBlock, 0.0)) << "a block of the prepared size runs";
    }
}

TEST_F(QuorrelTest, SampleRatesOutsideTheEngineRangeAreRefusedAndTheSetUpStays)
{
    ASSERT_EQ(rig->Start(44100.0, 256), kResultOk);
    for (double rate : {0.0, 4000.0, 7999.0, 384001.0, 1e12, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()}) {
        ProcessSetup setup{kRealtime, kSample64, 256, rate};
        EXPECT_EQ(rig->processor->setupProcessing(setup), kResultFalse) << rate;
    }
    EXPECT_EQ(plugin->PreparedSampleRate(), 44100.0);
    EXPECT_EQ(plugin->PreparedBlockFrames(), 256);
    ProcessSetup huge{kRealtime, kSample64, 0x7FFFFFFF, 48000.0};
    EXPECT_NE(rig->processor->setupProcessing(huge), kResultOk) << "no memory for such blocks";
    for (double rate : {8000.0, 384000.0})
        EXPECT_EQ(rig->Start(rate, 64), kResultOk) << rate;
}

TEST_F(QuorrelTest, ResetKeepsAFrozenLoopOnlyWhileLoopFreezeIsOn)
{
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    FreezeLoop(*rig, *plugin);
    const std::vector<uint8_t> frozen = rig->GetState();
    ASSERT_GT(frozen.size(), 352u);

    rig->Stop();
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    EXPECT_EQ(rig->GetState(), frozen) << "kept across the reset, before any audio";
    rig->Process(kBlock);
    EXPECT_TRUE(plugin->LoopFrozen()) << "and playing again after it";

    SetPlain(*rig, kLoopFreeze, 0);
    rig->Stop();
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    SetPlain(*rig, kLoopFreeze, 1);
    EXPECT_EQ(rig->GetState().size(), 352u) << "discarded by a reset with Loop Freeze off";
}

TEST_F(QuorrelTest, UntilAudioRunsASaveWritesTheLoadedLoop)
{
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    FreezeLoop(*rig, *plugin);
    const std::vector<uint8_t> saved = rig->GetState();

    Quorrel* other = nullptr;
    std::unique_ptr<HostRig> second = MakeRig(other);
    ASSERT_EQ(second->Start(kRate, kBlock), kResultOk);
    second->inL = TestSignal(kBlock * 4000, 7);
    second->inR = TestSignal(kBlock * 4000, 8);
    FreezeLoop(*second, *other);
    ASSERT_NE(second->GetState(), saved) << "a loop of other audio";

    ASSERT_EQ(second->SetState(saved), kResultTrue);
    EXPECT_EQ(second->GetState(), saved);
    ASSERT_EQ(second->Flush({}), kResultOk);
    EXPECT_EQ(second->GetState(), saved) << "a call without frames is no audio";
    second->Stop();
    ASSERT_EQ(second->Start(kRate, kBlock), kResultOk);
    EXPECT_EQ(second->GetState(), saved) << "nor is a processing reset";
}

TEST_F(QuorrelTest, RejectedStateChangesNothing)
{
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    SetPlain(*rig, kDrive, 0.7);
    const std::vector<uint8_t> before = rig->GetState();
    const uint64_t loads = plugin->StateLoadCount();

    std::vector<uint8_t> damaged = before;
    damaged[4] = 34; // too few values
    ASSERT_EQ(rig->SetState(damaged), kResultFalse);
    EXPECT_EQ(rig->GetParam(iplug::kBypassParamId), 0.0) << "no bypass flag read from the chunk's own bytes";
    EXPECT_EQ(plugin->CachedParam(kDrive), 0.7);
    EXPECT_EQ(plugin->StateLoadCount(), loads);
    EXPECT_EQ(rig->GetState(), before);
}

TEST_F(QuorrelTest, HeldAndLatchedRepeatsAreNeverSaved)
{
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    SetPlain(*rig, kRepeatHold, 1);
    SetPlain(*rig, kRepeatLatch, 1);
    const std::vector<uint8_t> state = rig->GetState();
    ASSERT_EQ(state.size(), 352u);
    iplug::IStateBuffer buffer;
    buffer.PutBytes(state.data(), static_cast<int>(state.size()));
    StateChunk chunk;
    ASSERT_EQ(chunk.Read(buffer, 0), 348);
    EXPECT_EQ(chunk.params.values[kRepeatHold], 0.0);
    EXPECT_EQ(chunk.params.values[kRepeatLatch], 0.0);

    plugin->OnEditorClosing();
    EXPECT_EQ(plugin->CachedParam(kRepeatHold), 0.0);
    ASSERT_EQ(rig->handler.Kinds(), "bpe") << "the host hears of it, inside a gesture";
    EXPECT_EQ(rig->handler.calls[1].id, ParamID(kRepeatHold));
    EXPECT_EQ(rig->handler.calls[1].value, 0.0);
}

TEST_F(QuorrelTest, StateTrafficWhileAudioRuns)
{
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    FreezeLoop(*rig, *plugin);
    const std::vector<uint8_t> frozen = rig->GetState();
    SetPlain(*rig, kLoopFreeze, 0);
    const std::vector<uint8_t> plain = rig->GetState();

    std::atomic<bool> done{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        while (!done.load()) {
            rig->Process(kBlock, {{kDrive, kBlock / 3, (blocks.load() % 2) ? 0.2 : 0.8}});
            rig->outL.clear();
            rig->outR.clear();
            ++blocks;
        }
    });
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(rig->SetState(i % 3 == 2 ? plain : frozen), kResultOk);
        const std::vector<uint8_t> saved = rig->GetState();
        EXPECT_TRUE(saved.size() == frozen.size() || saved.size() == plain.size()) << saved.size();
        while (blocks.load() < 4 * (i + 1))
            std::this_thread::yield();
    }
    done = true;
    audio.join();
    rig->Process(kBlock);
    for (double v : rig->outL)
        ASSERT_TRUE(std::isfinite(v));
}

// process runs on the host's audio thread: automation of several parameters at several
// offsets, the transport and the audio pass through the wrapper into the engine without the
// heap, in every mode.
TEST_F(QuorrelTest, ProcessingAllocatesNothing)
{
    ASSERT_EQ(rig->Start(kRate, kBlock, false), kResultOk);
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    const std::vector<double> signal = TestSignal(kBlock, 3);
    for (int i = 0; i < kBlock; ++i) {
        inL[size_t(i)] = static_cast<float>(signal[size_t(i)]);
        inR[size_t(i)] = -inL[size_t(i)];
    }
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    AudioBusBuffers inBus, outBus;
    inBus.numChannels = 2;
    inBus.channelBuffers32 = ins;
    outBus.numChannels = 2;
    outBus.channelBuffers32 = outs;

    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        HostParamChanges changes;
        changes.Add(kMode, 0, rig->ToNormalized(kMode, mode));
        changes.Add(kDrive, 0, 0.3);
        changes.Add(kDrive, kBlock / 2, 0.7);
        changes.Add(kMacro, 100, 0.6);
        changes.Add(kChaos, 17, 0.5);
        changes.Add(kWear, kBlock - 1, 0.4);
        ProcessData data = rig->BlockData(inBus, outBus, changes, kBlock);
        // The first blocks in a mode may grow what the mode keeps; later ones must not.
        for (int b = 0; b < 8; ++b)
            ASSERT_EQ(rig->processor->process(data), kResultOk);

        AllocationProbe::Scope probe;
        for (int b = 0; b < 16; ++b) {
            rig->context.projectTimeSamples += kBlock;
            ASSERT_EQ(rig->processor->process(data), kResultOk);
        }
        EXPECT_EQ(probe.Allocations(), 0);
    }
}

TEST_F(QuorrelTest, StoppingAndStartingIsLightAndKeepsTheFrozenLoop)
{
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    SetPlain(*rig, kChaos, 0.0);
    SetPlain(*rig, kWear, 0.0);
    FreezeLoop(*rig, *plugin);
    const std::vector<uint8_t> frozen = rig->GetState();
    {
        AllocationProbe::Scope probe;
        EXPECT_EQ(rig->processor->setProcessing(false), kResultTrue);
        EXPECT_EQ(rig->processor->setProcessing(true), kResultTrue);
        EXPECT_EQ(probe.Allocations(), 0) << "hosts may stop and start on the audio thread";
    }
    rig->inL.assign(rig->inputPos + kBlock * 20, 0.0);
    rig->inR = rig->inL;
    rig->outL.clear();
    for (int b = 0; b < 20; ++b)
        ASSERT_EQ(rig->Process(kBlock), kResultOk);
    EXPECT_TRUE(plugin->LoopFrozen());
    double energy = 0.0;
    for (size_t i = rig->outL.size() - kBlock; i < rig->outL.size(); ++i)
        energy += rig->outL[i] * rig->outL[i];
    EXPECT_GT(energy, 0.0) << "the frozen loop plays on silence";
    EXPECT_EQ(rig->GetState().size(), frozen.size());
}

} // namespace
