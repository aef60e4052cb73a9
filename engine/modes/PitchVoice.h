#pragma once
#include <cstdint>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/EngineMath.h"
#include "engine/modes/TransientMap.h"

// Waveform-similarity overlap-add pitch shifter over the echo ring. Two
// triangular grains overlap by half and read the ring at the pitch ratio; each
// new grain starts where a one-bit autocorrelation search finds the ring best
// continuing the grain before it, so consecutive grains join in phase. The
// search is spread over the 32-sample chunks of Render to bound the cost per
// sample.
class PitchVoice
{
public:
    static constexpr int kChunk = 32;
    static constexpr int kBitWords = 390;
    static constexpr int kReferenceWord = 0;
    static constexpr int kLaggedWord = 130;
    static constexpr int kStartGrainLength = 2048;
    static constexpr int kMaxWindow = 4096;
    static constexpr int kMinWindow = 128;
    static constexpr int kStatisticsRing = 256;

    // Compares the sign bits of a reference stretch (A) with a later stretch
    // (B) shifted by one lag per step.
    struct BitCorrelator
    {
        int32_t referenceWord = kReferenceWord;
        int32_t laggedWord = kLaggedWord;
        int32_t base = 0;
        int32_t step = 0;     // 16.16 fixed point: ring samples per bit
        int32_t bitCount = 0; // bits in A, a multiple of 32
        int32_t lag = 0;
        uint32_t bestScore = 0;
        int32_t bestLag = 0;
        uint8_t done = 1;
    };

    struct GrainSlot
    {
        int32_t start = 0;
        uint32_t position = 0; // 16.16 fixed point from the grain start
        uint32_t step = 0;     // 16.16 fixed point
        float scale = 0.0f;    // 2 / grain length
        uint8_t finished = 1;
        uint8_t pastHalf = 0;
        uint8_t spawned = 0;
    };

    PitchVoice();
    PitchVoice(const PitchVoice&) = delete;
    PitchVoice& operator=(const PitchVoice&) = delete;

    // Points the voice at the ring (not owned). Without a shared map the voice
    // keeps a map of its own over the same ring. Allocates; may throw bad_alloc.
    void Prepare(double sampleRate, const float* source, int sourceLength, TransientMap* sharedMap);
    void Reset();
    // Starts a voice that was idle: primes the search so that the first grain
    // already continues the ring at the expected read position.
    void Restart();
    // Ratio not above 0 (or not finite) means 1; otherwise clamped to 0.25..4.
    void SetRatio(double ratio);
    void Render(float* out, int count);

    // Ratio of a semitone offset (-128 < s < 128) read through the two tables.
    static float TableRatio(double semitones);
    // Where the synthesis expects to read for an output offset, in
    // sourceLength..3*sourceLength-1.
    int32_t ExpectedReadIndex(int offset) const;

    double Latency() const { return latency; }
    int Window() const { return window; }
    int SearchRange() const { return searchRange; }
    double Ratio() const { return ratio; }
    int GrainLength() const { return grainLength; }
    const GrainSlot& Slot(int index) const { return slots[index]; }
    uint32_t GrainsDecided() const { return grainsDecided; }
    uint32_t GrainsOnOnsets() const { return grainsOnOnsets; }

    // Where the render that follows reads: the clock of the echo's ring at the
    // start of the block, and how far behind it the voice's output lies.
    void SetBlockClock(double clock) { blockClock = clock; }
    void SetReadDelay(double delay) { readDelay = delay; }

private:
    void SetWindow(int samples);
    void UpdateLatency();
    void ResetSlotsAndAnalysis();
    void BuildAnalysisBits();
    void RunSearch(int steps);
    void CorrelatorStep();
    int32_t CorrelatorPosition() const;
    void RecordDecision(int32_t position);
    void StartGrain(GrainSlot& slot);
    void Synthesize(float* out, int count);
    float ReadGrain(const GrainSlot& slot) const;
    // The echo's ring as the reads see it: indexed by position modulo its length.
    DelayLineView<1> SourceRing() const { return DelayLineView<1>(source, sourceLength, 0, 0.0); }
    float SourceLinear(int64_t fixedPosition) const;
    int WrapIndex(int64_t index) const;
    void PackBits(int wordOffset, int64_t start, int bitCount, int32_t step);

    const float* source = nullptr;
    int32_t sourceLength = 0;
    int32_t readIndex = 0;
    BitCorrelator correlator;
    GrainSlot slots[2];
    int32_t grainLength = kStartGrainLength;
    float targetSemitones = 0.0f;
    float currentSemitones = 0.0f;
    float readSpeed = 1.0f;
    uint8_t bitsReady = 1;
    int32_t analysisStart = 0;
    int32_t analysisEnd = 0;
    std::vector<uint32_t> bits;
    double sampleRate = EngineMath::kDefaultSampleRate;
    double blockClock = 0.0;
    double readDelay = 0.0;
    double ratio = 1.0;
    int32_t window = kStartGrainLength;
    int32_t grainTarget = kStartGrainLength; // the window as the tables represent it
    int32_t renderCount = 0;
    int32_t searchRange = 0;
    uint8_t ratioValid = 0;
    double latency = 5120.0;
    double searchScale = 1.0;
    TransientMap* map = nullptr;
    TransientMap ownMap;
    int32_t candidate = 0;
    uint8_t candidateValid = 0;
    uint32_t grainsDecided = 0;
    uint32_t grainsOnOnsets = 0;
    int32_t recentPositions[kStatisticsRing] = {};
    int32_t recentIndex = 0;
    int32_t recentCount = 0;
    // Lag steps owed to the search in 1/32 of a chunk's share, so that renders
    // shorter than a chunk search in proportion instead of a full share each.
    int32_t searchCarry = 0;
};
