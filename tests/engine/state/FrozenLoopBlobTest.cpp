#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/state/FrozenLoopBlob.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/state/FrozenLoopFixture.h"

namespace {

using FrozenLoopFixture::MakeHandFrozenLoop;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16
           | static_cast<uint32_t>(b[at + 3]) << 24;
}

void WriteU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void WriteI32(std::vector<uint8_t>& b, size_t at, int32_t v)
{
    WriteU32(b, at, static_cast<uint32_t>(v));
}

void WriteF64(std::vector<uint8_t>& b, size_t at, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (8 * i));
}

double ReadF64(const std::vector<uint8_t>& b, size_t at)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(b[at + static_cast<size_t>(i)]) << (8 * i);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void WriteF32(std::vector<uint8_t>& b, size_t at, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    WriteU32(b, at, bits);
}

// Offsets of the sections of a blob, from its loop's lengths.
struct Layout
{
    size_t history; // samples of one history channel
    size_t shifter; // samples of one shifter ring
    size_t HistoryR() const { return 20 + 4 * history; }
    size_t State() const { return 24 + 8 * history; }
    size_t Voice(int v) const { return State() + 266 + 408 * static_cast<size_t>(v); }
    size_t Shifter(int s) const { return State() + 2784 + static_cast<size_t>(s) * (96 + 4 * shifter); }
    size_t ShifterTail(int s) const { return Shifter(s) + 20 + 4 * shifter; }
    size_t Owner() const { return Shifter(2); }
};

void ExpectSameSmoother(const ParamSmoother& a, const ParamSmoother& b, const char* what)
{
    EXPECT_EQ(a.current, b.current) << what;
    EXPECT_EQ(a.target, b.target) << what;
    EXPECT_EQ(a.coefficient, b.coefficient) << what;
    EXPECT_EQ(a.time, b.time) << what;
}

void ExpectSameShifter(const GrainShifter& shifterA, const GrainShifter& shifterB)
{
    const GrainShifter::State& a = shifterA.CurrentState();
    const GrainShifter::State& b = shifterB.CurrentState();
    EXPECT_EQ(a.sampleRate, b.sampleRate);
    EXPECT_EQ(a.ratio, b.ratio);
    EXPECT_EQ(a.buffer, b.buffer);
    EXPECT_EQ(a.length, b.length);
    EXPECT_EQ(a.writeIndex, b.writeIndex);
    EXPECT_EQ(a.clock, b.clock);
    EXPECT_EQ(a.grainLength, b.grainLength);
    EXPECT_EQ(a.rng, b.rng);
    EXPECT_EQ(a.minDelay, b.minDelay);
    EXPECT_EQ(a.minMargin, b.minMargin);
    EXPECT_EQ(a.readPosA, b.readPosA);
    EXPECT_EQ(a.readPosB, b.readPosB);
    EXPECT_EQ(a.phaseA, b.phaseA);
    EXPECT_EQ(a.phaseB, b.phaseB);
}

void ExpectSameVoice(const LoopVoice& a, const LoopVoice& b, int v)
{
    SCOPED_TRACE("voice " + std::to_string(v));
    EXPECT_EQ(a.rOctave, b.rOctave);
    EXPECT_EQ(a.rReverse, b.rReverse);
    EXPECT_EQ(a.rReach, b.rReach);
    EXPECT_EQ(a.rGain, b.rGain);
    EXPECT_EQ(a.rPan, b.rPan);
    EXPECT_EQ(a.rng, b.rng);
    EXPECT_EQ(a.segmentLength, b.segmentLength);
    EXPECT_EQ(a.segmentPosition, b.segmentPosition);
    EXPECT_EQ(a.readPosition, b.readPosition);
    EXPECT_EQ(a.windowStart, b.windowStart);
    EXPECT_EQ(a.windowSpan, b.windowSpan);
    EXPECT_EQ(a.startDelay, b.startDelay);
    EXPECT_EQ(a.startStamp, b.startStamp);
    EXPECT_EQ(a.reversed, b.reversed);
    EXPECT_EQ(a.ended, b.ended);
    EXPECT_EQ(a.primed, b.primed);
    EXPECT_EQ(a.pitchShifted, b.pitchShifted);
    ExpectSameSmoother(a.speedSmoother, b.speedSmoother, "speed");
    ExpectSameSmoother(a.gainSmoother, b.gainSmoother, "gain");
    ExpectSameSmoother(a.panSmoother, b.panSmoother, "pan");
    EXPECT_EQ(a.speed, b.speed);
    EXPECT_EQ(a.gain, b.gain);
    EXPECT_EQ(a.pan, b.pan);
    for (int k = 0; k < LoopVoice::kLfoCount; ++k) {
        EXPECT_EQ(a.lfoPhase[k], b.lfoPhase[k]) << k;
        EXPECT_EQ(a.lfoRate[k], b.lfoRate[k]) << k;
        EXPECT_EQ(a.lfoValue[k], b.lfoValue[k]) << k;
    }
    EXPECT_EQ(a.lengthFraction, b.lengthFraction);
    EXPECT_EQ(a.peakFraction, b.peakFraction);
    EXPECT_EQ(a.peakAmount, b.peakAmount);
    EXPECT_EQ(a.levelScale, b.levelScale);
    EXPECT_EQ(a.speedLimit, b.speedLimit);
    EXPECT_EQ(a.lastOutL, b.lastOutL);
    EXPECT_EQ(a.lastOutR, b.lastOutR);
    EXPECT_EQ(a.heldOutL, b.heldOutL);
    EXPECT_EQ(a.heldOutR, b.heldOutR);
    EXPECT_EQ(a.fadeRemaining, b.fadeRemaining);
}

void ExpectSameFrozenState(const LoopsMode& a, const LoopsMode& b)
{
    EXPECT_EQ(a.SampleRate(), b.SampleRate());
    EXPECT_EQ(a.HistoryLength(), b.HistoryLength());
    EXPECT_TRUE(SameHistory(a, b));
    EXPECT_EQ(a.GetState().writeIndex, b.GetState().writeIndex);
    EXPECT_EQ(a.GetState().clock, b.GetState().clock);
    EXPECT_EQ(a.GetState().recordingStopped, b.GetState().recordingStopped);
    EXPECT_EQ(a.GetState().loopTime, b.GetState().loopTime);
    EXPECT_EQ(a.GetState().amount, b.GetState().amount);
    EXPECT_EQ(a.GetState().freezeRequested, b.GetState().freezeRequested);
    EXPECT_EQ(a.GetState().chaos, b.GetState().chaos);
    EXPECT_EQ(a.GetState().fadeLength, b.GetState().fadeLength);
    ExpectSameSmoother(a.GetState().amountSmoother, b.GetState().amountSmoother, "amount");
    EXPECT_EQ(a.GetState().octavesTarget, b.GetState().octavesTarget);
    EXPECT_EQ(a.GetState().reverseTarget, b.GetState().reverseTarget);
    EXPECT_EQ(a.GetState().reachTarget, b.GetState().reachTarget);
    EXPECT_EQ(a.GetState().widthTarget, b.GetState().widthTarget);
    EXPECT_EQ(a.GetState().octaves, b.GetState().octaves);
    EXPECT_EQ(a.GetState().reverse, b.GetState().reverse);
    EXPECT_EQ(a.GetState().reach, b.GetState().reach);
    EXPECT_EQ(a.GetState().width, b.GetState().width);
    ExpectSameSmoother(a.GetState().octavesSmoother, b.GetState().octavesSmoother, "octaves");
    ExpectSameSmoother(a.GetState().reverseSmoother, b.GetState().reverseSmoother, "reverse");
    ExpectSameSmoother(a.GetState().reachSmoother, b.GetState().reachSmoother, "reach");
    ExpectSameSmoother(a.GetState().widthSmoother, b.GetState().widthSmoother, "width");
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        ExpectSameVoice(a.GetState().voices[v], b.GetState().voices[v], v);
    EXPECT_EQ(a.GetState().sampleCounter, b.GetState().sampleCounter);
    EXPECT_EQ(a.GetState().divisionsPerLoop, b.GetState().divisionsPerLoop);
    EXPECT_EQ(a.GetState().divisionCounter, b.GetState().divisionCounter);
    EXPECT_EQ(a.GetState().wasSynced, b.GetState().wasSynced);
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        EXPECT_EQ(a.GetState().startCountdown[v], b.GetState().startCountdown[v]);
    EXPECT_EQ(a.GetState().lastDivisionSamples, b.GetState().lastDivisionSamples);
    EXPECT_EQ(a.GetState().randomised, b.GetState().randomised);
    EXPECT_EQ(a.GetState().randomGeneration, b.GetState().randomGeneration);
    EXPECT_EQ(a.GetState().voiceStartCounter, b.GetState().voiceStartCounter);
    EXPECT_EQ(a.GetState().minVoiceAge, b.GetState().minVoiceAge);
    EXPECT_EQ(a.GetState().maxVoiceAge, b.GetState().maxVoiceAge);
    ExpectSameShifter(a.GetState().shifters[0], b.GetState().shifters[0]);
    ExpectSameShifter(a.GetState().shifters[1], b.GetState().shifters[1]);
    EXPECT_EQ(a.GetState().shifterOwner, b.GetState().shifterOwner);
    EXPECT_EQ(a.GetState().chaosReverseFlips, b.GetState().chaosReverseFlips);
    EXPECT_EQ(a.GetState().chaosOctaveDrops, b.GetState().chaosOctaveDrops);
    EXPECT_EQ(a.GetState().shifterStarts, b.GetState().shifterStarts);
    EXPECT_EQ(a.GetState().resetVoicesPending, b.GetState().resetVoicesPending);
}

class FrozenLoopBlobTest : public ::testing::Test
{
protected:
    void SetUp() override { FrozenLoopFixture::EnableFlushToZero(); }
};

} // namespace

// A loop frozen by really running it, with chaos high enough that a voice owns
// the pitch shifters, comes back field for field.
TEST_F(FrozenLoopBlobTest, RoundTripKeepsEveryStoredField)
{
    EffectEngine engine;
    FrozenLoopFixture::SetLoopParams(engine, 1.0);
    engine.SetParam(kChaos, 1.0);
    engine.SetParam(kShape, 0.8);
    engine.SetParam(kLoopOctaves, 1.0);
    engine.SetParam(kLoopReverse, 0.6);
    engine.SetParam(kLoopReach, 0.5);
    engine.SetParam(kLoopWidth, 0.7);
    engine.Prepare(8000, 64);
    ASSERT_GT(FrozenLoopFixture::RunUntilPublished(engine, 3, 64, 8000 * 30), 0);
    // Keep playing the frozen loop until some voice holds the shifters.
    const LoopsMode& live = EffectEngineProbe(engine).LiveLoop();
    for (int64_t i = 0; i < 8000 * 60 && live.GetState().shifterOwner < 0; i += 64)
        FrozenLoopFixture::RunBlock(engine, 3, i, 64);
    ASSERT_GE(live.GetState().shifterOwner, 0);

    const std::vector<uint8_t> blob = EncodeFrozenLoop(live);
    ASSERT_FALSE(blob.empty());
    std::string error;
    std::unique_ptr<LoopsMode> decoded = DecodeFrozenLoop(blob.data(), blob.size(), &error);
    ASSERT_TRUE(decoded) << error;
    ExpectSameFrozenState(live, *decoded);
    // Fields the blob does not carry start as preparation leaves them.
    for (const LoopVoice& voice : decoded->GetState().voices) {
        EXPECT_EQ(voice.tailActive, 0);
        EXPECT_EQ(voice.baseSpeed, 1.0);
        EXPECT_EQ(voice.baseGain, 1.0);
    }
    EXPECT_EQ(decoded->GetState().shifters[0].CurrentState().crossfadeRemaining, 0);
    EXPECT_TRUE(decoded->IsReady());
}

TEST_F(FrozenLoopBlobTest, SizeAndHeaderFollowTheRate)
{
    struct Case
    {
        double rate;
        uint32_t history;
        uint64_t size;
    };
    const Case cases[] = {
        {44100, 2293202, 18489769},
        {48000, 2496002, 20124649},
        {96000, 4992002, 40246249},
        {192000, 9984002, 80489449},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        auto loop = MakeHandFrozenLoop(c.rate);
        ASSERT_EQ(loop->HistoryLength(), static_cast<int32_t>(c.history));
        const std::vector<uint8_t> blob = EncodeFrozenLoop(*loop);
        ASSERT_EQ(blob.size(), c.size);
        EXPECT_EQ(FrozenLoopBlob::SizeAtRate(c.rate), c.size);
        EXPECT_EQ(std::string(blob.begin(), blob.begin() + 4), "1FTK");
        EXPECT_EQ(ReadU32(blob, 4), 1u);
        EXPECT_EQ(ReadF64(blob, 8), c.rate);
        EXPECT_EQ(ReadU32(blob, 16), c.history);
        EXPECT_EQ(ReadU32(blob, 20 + 4 * size_t{c.history}), c.history);
    }
}

// The size limit must admit the blob of the highest supported rate, or the
// engine would save loops it cannot load again.
TEST_F(FrozenLoopBlobTest, SizeLimitFitsTheHighestSupportedRate)
{
    LoopsMode loop;
    loop.Prepare(LoopsMode::kMaxSampleRate, 512);
    ASSERT_TRUE(loop.IsReady());
    EXPECT_EQ(FrozenLoopBlob::SizeFor(static_cast<uint64_t>(loop.HistoryLength()),
                                      static_cast<uint64_t>(loop.GetState().shifters[0].CurrentState().length)),
              FrozenLoopBlob::MaxSize());
    EXPECT_EQ(FrozenLoopBlob::MaxSize(), 160975849u);

    // One byte more is refused before anything is read.
    const size_t tooLong = static_cast<size_t>(FrozenLoopBlob::MaxSize()) + 1;
    std::unique_ptr<uint8_t[]> untouched(new uint8_t[tooLong]);
    EXPECT_FALSE(DecodeFrozenLoop(untouched.get(), tooLong));
}

TEST_F(FrozenLoopBlobTest, DecodesAtTheEdgesOfTheSupportedRange)
{
    auto loop = MakeHandFrozenLoop(LoopsMode::kMinSampleRate);
    const std::vector<uint8_t> blob = EncodeFrozenLoop(*loop);
    ASSERT_FALSE(blob.empty());
    auto decoded = DecodeFrozenLoop(blob.data(), blob.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->SampleRate(), LoopsMode::kMinSampleRate);
}

TEST_F(FrozenLoopBlobTest, EncoderRefusesLoopsItCouldNotReadBack)
{
    struct Case
    {
        const char* name;
        std::function<void(LoopsMode&)> spoil;
    };
    const Case cases[] = {
        {"still recording", [](LoopsMode& l) { EditState(l, [](LoopsMode::State& s) { s.recordingStopped = 0; }); }},
        {"non-finite history sample",
         [](LoopsMode& l) {
             EditState(l,
                       [](LoopsMode::State& s) { s.history.FrameAt(12)[1] = std::numeric_limits<float>::infinity(); });
         }},
        {"non-finite statistic", [](LoopsMode& l) { EditState(l, [](LoopsMode::State& s) { s.minVoiceAge = kNaN; }); }},
        {"history too loud",
         [](LoopsMode& l) { EditState(l, [](LoopsMode::State& s) { s.history.FrameAt(3)[0] = 64.5f; }); }},
        {"history released", [](LoopsMode& l) { l.ReleaseHistory(); }},
    };
    for (const Case& c : cases) {
        auto loop = MakeHandFrozenLoop(8000);
        c.spoil(*loop);
        EXPECT_TRUE(EncodeFrozenLoop(*loop).empty()) << c.name;
    }
}

// Every mutation of one valid blob is refused, with the reader's complaint where
// the reader finds the fault and without one where validation does.
TEST_F(FrozenLoopBlobTest, RefusesDamagedBlobs)
{
    auto loop = MakeHandFrozenLoop(8000);
    const std::vector<uint8_t> valid = EncodeFrozenLoop(*loop);
    ASSERT_FALSE(valid.empty());
    ASSERT_TRUE(DecodeFrozenLoop(valid.data(), valid.size()));
    const Layout at{static_cast<size_t>(loop->HistoryLength()),
                    static_cast<size_t>(loop->GetState().shifters[0].CurrentState().length)};
    const size_t s = at.State();
    const int32_t shifterLength = loop->GetState().shifters[0].CurrentState().length;

    using Blob = std::vector<uint8_t>;
    struct Case
    {
        const char* name;
        std::function<void(Blob&)> mutate;
        const char* error;
    };
    const Case cases[] = {
        {"one byte removed", [](Blob& b) { b.pop_back(); }, "truncated state"},
        {"header cut in the magic", [](Blob& b) { b.resize(3); }, "truncated state"},
        {"header cut in the rate", [](Blob& b) { b.resize(12); }, "truncated state"},
        {"cut inside the history", [&](Blob& b) { b.resize(at.HistoryR() - 2); }, "invalid vector length"},
        {"empty", [](Blob& b) { b.clear(); }, "truncated state"},
        {"one byte appended", [](Blob& b) { b.push_back(0); }, ""},
        {"other magic", [](Blob& b) { b[0] = '2'; }, ""},
        {"version 2", [](Blob& b) { WriteU32(b, 4, 2); }, ""},
        {"rate below range", [](Blob& b) { WriteF64(b, 8, 7999.0); }, ""},
        {"rate above range", [](Blob& b) { WriteF64(b, 8, 384001.0); }, ""},
        {"rate NaN", [](Blob& b) { WriteF64(b, 8, kNaN); }, "nonfinite state"},
        {"rate of another history length", [](Blob& b) { WriteF64(b, 8, 16000.0); }, "invalid vector length"},
        {"history count one short", [&](Blob& b) { WriteU32(b, 16, ReadU32(b, 16) - 1); }, "invalid vector length"},
        {"history count huge", [](Blob& b) { WriteU32(b, 16, 0xFFFFFFFFu); }, "invalid vector length"},
        {"right count off", [&](Blob& b) { WriteU32(b, at.HistoryR(), 5); }, "invalid vector length"},
        {"history NaN", [](Blob& b) { WriteF32(b, 100, std::nanf("")); }, "nonfinite state"},
        {"history sample 64.5", [](Blob& b) { WriteF32(b, 24, 64.5f); }, ""},
        {"writeIndex at the length", [&](Blob& b) { WriteI32(b, s, loop->HistoryLength()); }, ""},
        {"writeIndex negative", [&](Blob& b) { WriteI32(b, s, -1); }, ""},
        {"clock negative", [&](Blob& b) { WriteF64(b, s + 4, -1.0); }, ""},
        {"clock beyond 2^48", [&](Blob& b) { WriteF64(b, s + 4, 3e14); }, ""},
        {"recording flag 2", [&](Blob& b) { b[s + 12] = 2; }, "invalid bool"},
        {"recording not stopped", [&](Blob& b) { b[s + 12] = 0; }, ""},
        {"loop time 20 s", [&](Blob& b) { WriteF64(b, s + 13, 20.0); }, ""},
        {"loop time infinite", [&](Blob& b) { WriteF64(b, s + 13, HUGE_VAL); }, "nonfinite state"},
        {"freeze not requested", [&](Blob& b) { b[s + 29] = 0; }, ""},
        {"fade length 0", [&](Blob& b) { WriteI32(b, s + 38, 0); }, ""},
        {"amount smoother time 0", [&](Blob& b) { WriteF64(b, s + 42 + 24, 0.0); }, ""},
        {"octaves far out", [&](Blob& b) { WriteF64(b, s + 106, 1e300); }, ""},
        {"personality out of range", [&](Blob& b) { WriteF64(b, at.Voice(0), 3.0); }, ""},
        {"segment length 0", [&](Blob& b) { WriteI32(b, at.Voice(1) + 44, 0); }, ""},
        {"segment position past length", [&](Blob& b) { WriteI32(b, at.Voice(1) + 48, 100000); }, ""},
        {"read position after the clock", [&](Blob& b) { WriteF64(b, at.Voice(2) + 52, 1e12); }, ""},
        {"read position before the ring", [&](Blob& b) { WriteF64(b, at.Voice(2) + 52, 1.0); }, ""},
        {"window past the newest sample", [&](Blob& b) { WriteF64(b, at.Voice(0) + 68, 1e6); }, ""},
        {"playing voice with an empty window", [&](Blob& b) { WriteF64(b, at.Voice(0) + 68, 0.0); }, ""},
        {"ended flag 7", [&](Blob& b) { b[at.Voice(0) + 89] = 7; }, "invalid bool"},
        {"speed beyond 16", [&](Blob& b) { WriteF64(b, at.Voice(3) + 92, 17.0); }, ""},
        {"level scale 0.25", [&](Blob& b) { WriteF64(b, at.Voice(3) + 356, 0.25); }, ""},
        {"level scale 2", [&](Blob& b) { WriteF64(b, at.Voice(3) + 356, 2.0); }, ""},
        {"speed limit 0", [&](Blob& b) { WriteF64(b, at.Voice(3) + 364, 0.0); }, ""},
        {"held output 100", [&](Blob& b) { WriteF64(b, at.Voice(5) + 388, 100.0); }, ""},
        {"declick longer than the fade", [&](Blob& b) { WriteI32(b, at.Voice(5) + 404, 100000); }, ""},
        {"shifter at another rate", [&](Blob& b) { WriteF64(b, at.Shifter(0), 16000.0); }, ""},
        {"shifter ratio 0", [&](Blob& b) { WriteF64(b, at.Shifter(1) + 8, 0.0); }, ""},
        {"shifter count off", [&](Blob& b) { WriteU32(b, at.Shifter(0) + 16, 3); }, "invalid vector length"},
        {"shifter length field off", [&](Blob& b) { WriteI32(b, at.ShifterTail(0), shifterLength + 1); }, ""},
        {"shifter write index at length", [&](Blob& b) { WriteI32(b, at.ShifterTail(1) + 4, shifterLength); }, ""},
        {"shifter clock negative", [&](Blob& b) { WriteF64(b, at.ShifterTail(0) + 8, -5.0); }, ""},
        {"shifter grain below a sample", [&](Blob& b) { WriteF64(b, at.ShifterTail(0) + 16, 0.5); }, ""},
        {"shifter min delay at the length", [&](Blob& b) { WriteF64(b, at.ShifterTail(1) + 28, shifterLength); }, ""},
        {"shifter phase 1", [&](Blob& b) { WriteF64(b, at.ShifterTail(0) + 60, 1.0); }, ""},
        {"shifter phase negative", [&](Blob& b) { WriteF64(b, at.ShifterTail(1) + 68, -0.1); }, ""},
        {"shifter owner 6", [&](Blob& b) { WriteI32(b, at.Owner(), 6); }, ""},
        {"last flag 3", [](Blob& b) { b.back() = 3; }, "invalid bool"},
    };
    for (const Case& c : cases) {
        Blob blob = valid;
        c.mutate(blob);
        std::string error = "unset";
        EXPECT_FALSE(DecodeFrozenLoop(blob.data(), blob.size(), &error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}
