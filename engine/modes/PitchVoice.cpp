#include "engine/modes/PitchVoice.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/InterpolatedRead.h"

namespace {

constexpr int kTableSize = 256;
constexpr int kReferenceWords = PitchVoice::kLaggedWord - PitchVoice::kReferenceWord;
constexpr int kLaggedWords = PitchVoice::kBitWords - PitchVoice::kLaggedWord;
// Semitones the read speed may move towards its target at one grain start.
constexpr int kMaxSemitoneStep = 12;
// 1.0 in 16.16 fixed point.
constexpr int64_t kFixedOne = 65536;
constexpr float kFixedOneF = 65536.0f;
constexpr double kFixedOneD = 65536.0;
// The analysis window in samples at the reference rate; windows scale with the rate.
constexpr double kReferenceRate = 48000.0;
constexpr double kReferenceWindow = 2048.0;
// The synthesis reads this many grain lengths (and one more at the ratio) behind the block clock.
constexpr double kLatencyGrains = 1.5;
// Analysis and search never step slower than this speed.
constexpr double kMinAnalysisSpeed = 1.25;
// The grain length follows the window only once it is this many samples off.
constexpr int32_t kGrainLengthDeadBand = 64;
// Read positions are pinned to this many samples either way.
constexpr double kPositionLimit = 4.0e18;

// semitone[i] = 2^((i - 128)/12), fine[j] = 2^(j/3072): a whole semitone step
// and 1/256 of one.
struct RatioTables
{
    float semitone[kTableSize];
    float fine[kTableSize];

    RatioTables()
    {
        for (int i = 0; i < kTableSize; ++i) {
            semitone[i] = static_cast<float>(std::pow(2.0, (i - 128) / 12.0));
            fine[i] = static_cast<float>(std::pow(2.0, i / 3072.0));
        }
    }
};

const RatioTables& Tables()
{
    static const RatioTables tables;
    return tables;
}

int CountBits(uint32_t word)
{
    word = word - ((word >> 1) & 0x55555555u);
    word = (word & 0x33333333u) + ((word >> 2) & 0x33333333u);
    word = (word + (word >> 4)) & 0x0F0F0F0Fu;
    return static_cast<int>((word * 0x01010101u) >> 24);
}

// Floor division by 65536 that stays right for negative fixed-point values.
int64_t FixedFloor(int64_t fixed)
{
    return fixed >= 0 ? fixed >> 16 : -((-fixed + 0xFFFF) >> 16);
}

} // namespace

PitchVoice::PitchVoice()
{
    UpdateLatency();
    latency = 5120.0;
}

float PitchVoice::TableRatio(double semitones)
{
    if (!(semitones == semitones))
        return 1.0f;
    const double x = std::min(std::max(semitones + 128.0, 0.0), 255.999);
    const int whole = static_cast<int>(x);
    const int fraction = std::min(static_cast<int>((x - whole) * kTableSize), kTableSize - 1);
    const RatioTables& tables = Tables();
    return tables.semitone[whole] * tables.fine[fraction];
}

void PitchVoice::Prepare(double rate, const float* ring, int ringLength, TransientMap* sharedMap)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    sourceLength = std::max(ringLength, 0);
    source = ring;
    bits.assign(kBitWords, 0u);
    if (sharedMap != nullptr) {
        map = sharedMap;
    } else {
        ownMap.Prepare(sampleRate, source, sourceLength);
        map = &ownMap;
    }
    Tables();
    SetWindow(EngineMath::RoundToInt(sampleRate * kReferenceWindow / kReferenceRate));
    ratioValid = 0;
    SetRatio(1.0);
    Reset();
}

void PitchVoice::SetWindow(int samples)
{
    const int cap = sourceLength < 1 ? kMaxWindow : std::min(std::max(sourceLength / 8, kMinWindow), kMaxWindow);
    window = std::min(std::max(samples, kMinWindow), cap);
    const double semitones = 12.0 * std::log2(window / 4096.0);
    grainTarget = static_cast<int32_t>(4096.0f * TableRatio(semitones));
    UpdateLatency();
}

void PitchVoice::SetRatio(double value)
{
    double r = value > 0.0 ? value : 1.0;
    r = std::min(std::max(r, 0.25), 4.0);
    if (ratioValid && r == ratio)
        return;
    ratio = r;
    ratioValid = 1;
    targetSemitones = static_cast<float>(12.0 * std::log2(r));
    UpdateLatency();
}

void PitchVoice::UpdateLatency()
{
    searchScale = std::min(std::max(window / kReferenceWindow, 1.0), 2.0);
    const double reach = (1.0 - 1.0 / (2.0 * ratio)) * window;
    searchRange = reach > 0.0 ? static_cast<int32_t>(reach / (searchScale * std::max(ratio, kMinAnalysisSpeed))) : 0;
    latency = window / ratio + kLatencyGrains * window;
}

int32_t PitchVoice::ExpectedReadIndex(int offset) const
{
    if (sourceLength < 1)
        return 0;
    const double synthesisDelay = readDelay - kLatencyGrains * grainLength - grainLength / ratio;
    const double delay = searchScale * std::max(ratio, kMinAnalysisSpeed) * searchRange * 0.5 + synthesisDelay;
    double position = blockClock + offset - delay;
    // A clock this far out cannot come from a running echo; pinning it keeps the
    // index arithmetic below in range.
    if (!std::isfinite(position))
        position = 0.0;
    position = std::min(std::max(position, -kPositionLimit), kPositionLimit);
    const int64_t remainder = EngineMath::RoundToInt64(position) % sourceLength;
    int64_t index = remainder + sourceLength;
    if (remainder < 0)
        index += sourceLength;
    return static_cast<int32_t>(index);
}

void PitchVoice::ResetSlotsAndAnalysis()
{
    slots[0] = GrainSlot{};
    slots[1] = GrainSlot{};
    bitsReady = 1;
    analysisStart = 0;
    analysisEnd = 0;
    renderCount = 0;
}

void PitchVoice::Reset()
{
    std::fill(bits.begin(), bits.end(), 0u);
    correlator = BitCorrelator{};
    grainLength = kStartGrainLength;
    currentSemitones = 0.0f;
    readSpeed = 1.0f;
    ResetSlotsAndAnalysis();
    candidate = 0;
    candidateValid = 0;
    grainsDecided = 0;
    grainsOnOnsets = 0;
    std::fill(std::begin(recentPositions), std::end(recentPositions), 0);
    recentIndex = 0;
    recentCount = 0;
    searchCarry = 0;
}

void PitchVoice::Restart()
{
    ResetSlotsAndAnalysis();
    if (sourceLength < 1 || source == nullptr || bits.size() < static_cast<size_t>(kBitWords))
        return;
    readIndex = ExpectedReadIndex(0);
    float discarded = 0.0f;
    Synthesize(&discarded, 1);
    EngineMath::SaturatingIncrement(renderCount);
    if (!bitsReady)
        BuildAnalysisBits();
    const int perPass = searchRange / 4 + 16;
    for (int pass = 0; pass < 8; ++pass)
        RunSearch(perPass);
    ResetSlotsAndAnalysis();
    candidate = CorrelatorPosition();
    candidateValid = 1;
}

int PitchVoice::WrapIndex(int64_t index) const
{
    int64_t wrapped = index % sourceLength;
    if (wrapped < 0)
        wrapped += sourceLength;
    return static_cast<int>(wrapped);
}

float PitchVoice::SourceLinear(int64_t fixedPosition) const
{
    const int64_t whole = FixedFloor(fixedPosition);
    const float fraction = static_cast<float>(fixedPosition - whole * kFixedOne) / kFixedOneF;
    return ReadLinearSingle(SourceRing(), whole, fraction);
}

void PitchVoice::PackBits(int wordOffset, int64_t start, int bitCount, int32_t step)
{
    int64_t position = start * kFixedOne;
    for (int b = 0; b < bitCount; ++b) {
        if (SourceLinear(position) > 0.0f)
            bits[static_cast<size_t>(wordOffset + b / 32)] |= 0x80000000u >> (b % 32);
        position += step;
    }
}

void PitchVoice::BuildAnalysisBits()
{
    const double lengthScale = std::min(std::max(grainLength / kReferenceWindow, 1.0), 2.0);
    const int32_t step =
        static_cast<int32_t>(std::max(static_cast<double>(readSpeed), kMinAnalysisSpeed) * lengthScale * kFixedOneD);
    const int referenceBits = std::min(grainLength, kReferenceWords * 32);
    const int laggedBits = std::min(2 * grainLength, kLaggedWords * 32);

    std::fill(bits.begin(), bits.end(), 0u);
    PackBits(kReferenceWord, analysisStart, referenceBits, step);
    PackBits(kLaggedWord, static_cast<int64_t>(analysisEnd) - grainLength, laggedBits, step);

    correlator.referenceWord = kReferenceWord;
    correlator.laggedWord = kLaggedWord;
    correlator.bitCount = (referenceBits + 31) / 32 * 32;
    correlator.base = grainLength / 2 - grainLength + analysisEnd;
    correlator.step = step;
    correlator.lag = 0;
    correlator.bestScore = 0;
    correlator.bestLag = 0;
    correlator.done = 0;
    bitsReady = 1;
}

void PitchVoice::CorrelatorStep()
{
    const int lag = correlator.lag;
    const int wordShift = lag / 32;
    const int bitShift = lag % 32;
    const int words = correlator.bitCount / 32;
    uint32_t score = 0;
    for (int w = 0; w < words; ++w) {
        const int hiIndex = correlator.laggedWord + w + wordShift;
        const uint32_t hi = hiIndex < kBitWords ? bits[static_cast<size_t>(hiIndex)] : 0u;
        uint32_t lagged = hi;
        if (bitShift != 0) {
            const uint32_t lo = hiIndex + 1 < kBitWords ? bits[static_cast<size_t>(hiIndex + 1)] : 0u;
            lagged = (hi << bitShift) | (lo >> (32 - bitShift));
        }
        score += static_cast<uint32_t>(CountBits(~(bits[static_cast<size_t>(correlator.referenceWord + w)] ^ lagged)));
    }
    if (score > correlator.bestScore) {
        correlator.bestScore = score;
        correlator.bestLag = lag;
    }
    correlator.lag = lag + 1;
    if (correlator.lag + 1 >= correlator.bitCount)
        correlator.done = 1;
}

void PitchVoice::RunSearch(int steps)
{
    for (int s = 0; s < steps; ++s) {
        if (correlator.done || correlator.lag >= searchRange)
            return;
        CorrelatorStep();
    }
}

int32_t PitchVoice::CorrelatorPosition() const
{
    const int64_t offset = (static_cast<int64_t>(correlator.step >> 4) * correlator.bestLag) >> 12;
    return static_cast<int32_t>(offset + correlator.base);
}

void PitchVoice::RecordDecision(int32_t position)
{
    EngineMath::SaturatingIncrement(grainsDecided);
    if (map != nullptr && map->IsMarked(static_cast<double>(position) - grainLength / 2))
        EngineMath::SaturatingIncrement(grainsOnOnsets);
    recentPositions[recentIndex] = position;
    recentIndex = (recentIndex + 1) % kStatisticsRing;
    recentCount = std::min(recentCount + 1, kStatisticsRing);
}

void PitchVoice::StartGrain(GrainSlot& slot)
{
    slot.start = WrapIndex(static_cast<int64_t>(candidate) - grainLength / 2);
    slot.step = static_cast<uint32_t>(readSpeed * kFixedOneF);
    slot.position = 0;
    slot.finished = 0;
    slot.pastHalf = 0;
    slot.spawned = 0;
    slot.scale = 2.0f / static_cast<float>(grainLength);
    bitsReady = 0;
    RecordDecision(candidate);

    const float toTarget = targetSemitones - currentSemitones;
    currentSemitones +=
        std::min(std::max(toTarget, -static_cast<float>(kMaxSemitoneStep)), static_cast<float>(kMaxSemitoneStep));
    readSpeed = TableRatio(currentSemitones);

    const int32_t difference = grainTarget - grainLength;
    if (std::abs(difference) > kGrainLengthDeadBand) {
        int32_t move = difference >= 0 ? difference >> 5 : -((-difference + 31) >> 5);
        move -= move % 4;
        grainLength += move;
    }
    analysisStart = candidate;
    analysisEnd = readIndex - grainLength;
}

float PitchVoice::ReadGrain(const GrainSlot& slot) const
{
    const int64_t first = static_cast<int64_t>(slot.start) + (slot.position >> 16);
    const float fraction = static_cast<float>(slot.position & 0xFFFFu) / kFixedOneF;
    return ReadCubicSingle(SourceRing(), first, fraction);
}

void PitchVoice::Synthesize(float* out, int count)
{
    auto contribute = [this](GrainSlot& slot) {
        const float w = static_cast<float>(slot.position >> 16) * slot.scale;
        slot.finished = w >= 2.0f;
        slot.pastHalf = w >= 1.0f;
        const float weight = slot.pastHalf ? 2.0f - w : w;
        const float value = ReadGrain(slot) * weight;
        slot.position += slot.step;
        return value;
    };

    for (int i = 0; i < count; ++i) {
        if (slots[0].finished && slots[1].finished)
            StartGrain(slots[0]);
        float sum = 0.0f;
        for (GrainSlot& slot : slots)
            if (!slot.finished)
                sum += contribute(slot);
        for (int k = 0; k < 2; ++k) {
            GrainSlot& slot = slots[k];
            if (slot.pastHalf && !slot.spawned) {
                slot.spawned = 1;
                GrainSlot& other = slots[1 - k];
                StartGrain(other);
                sum += contribute(other);
            }
        }
        out[i] = sum;
    }
}

void PitchVoice::Render(float* out, int count)
{
    if (out == nullptr || count < 1)
        return;
    if (sourceLength < 1 || source == nullptr || bits.size() < static_cast<size_t>(kBitWords)) {
        std::fill(out, out + count, 0.0f);
        return;
    }
    const int perChunk = searchRange / 4 + 16;
    for (int offset = 0; offset < count; offset += kChunk) {
        const int c = std::min(kChunk, count - offset);
        readIndex = ExpectedReadIndex(offset);
        if (!bitsReady)
            BuildAnalysisBits();
        const int owed = perChunk * c + searchCarry;
        RunSearch(owed / kChunk);
        searchCarry = owed % kChunk;
        candidate = CorrelatorPosition();
        candidateValid = 1;
        Synthesize(out + offset, c);
        EngineMath::SaturatingIncrement(renderCount);
    }
}
