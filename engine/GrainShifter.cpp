#include "engine/GrainShifter.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "engine/EngineMath.h"
#include "engine/InterpolatedRead.h"

namespace {

using EngineMath::kTwoPi;
constexpr double kHalfPi = 1.570796326794896619231;
constexpr double kUnityTolerance = 1e-9;
constexpr double kMaxDelaySeconds = 0.4;
constexpr double kMinDelaySeconds = 0.06;
constexpr double kJitterSeconds = 0.003;
constexpr double kJitterAboveSpeed = 1.25;

bool IsUsableRate(double rate)
{
    return std::isfinite(rate) && rate > 0.0;
}

// Rates whose ring would not fit an int32 index are refused.
bool FitsRing(double rate)
{
    return kMaxDelaySeconds * rate < 1e9;
}

int32_t RingLengthFor(double rate)
{
    return static_cast<int32_t>(std::ceil(kMaxDelaySeconds * rate)) + 2;
}

// Linear read of a ring indexed by absolute position modulo its length.
inline float ReadRing(const std::vector<float>& ring, double position)
{
    const int32_t length = static_cast<int32_t>(ring.size());
    if (length < 1 || !std::isfinite(position))
        return 0.0f;
    double f = RemainderOfPosition(position, static_cast<double>(length));
    if (f < 0.0)
        f += length;
    int32_t i = static_cast<int32_t>(f);
    if (i >= length)
        i = 0;
    const double frac = f - i;
    const int32_t j = i + 1 >= length ? 0 : i + 1;
    return static_cast<float>(ring[i] * (1.0 - frac) + ring[j] * frac);
}

} // namespace

double GrainLengthSeconds(double ratio)
{
    const double a = std::fabs(ratio);
    if (a <= 1.25)
        return 0.05;
    // One step below 0.053 keeps a head at the ratio just short of the newest sample.
    const double catchUp = 0.05299999999999999 / (a - 1.0);
    const double growth = 0.05 + 0.045 * std::min(1.0, (a - 1.25) / 0.75);
    return std::min(catchUp, growth);
}

void GrainShifter::Prepare(double rate)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    minDelay = kMinDelaySeconds * sampleRate;
    grainLength = GrainLengthSeconds(ratio) * sampleRate;
    length = 0;
    if (FitsRing(sampleRate)) {
        try {
            buffer.resize(static_cast<size_t>(RingLengthFor(sampleRate)), 0.0f);
            length = RingLengthFor(sampleRate);
        } catch (const std::bad_alloc&) {
        }
    }
    if (length == 0)
        std::vector<float>().swap(buffer); // unusable: Process stays silent
    Reset();
}

void GrainShifter::Reset()
{
    const int32_t size = static_cast<int32_t>(buffer.size());
    const double reach = std::ceil(0.098 * sampleRate + minDelay);
    const int32_t silenced =
        std::max<int32_t>(0, std::min<int32_t>(static_cast<int32_t>(std::min(reach, 1e9)) + 64, size));
    std::fill(buffer.end() - silenced, buffer.end(), 0.0f);
    writeIndex = 0;
    clock = 0.0;
    readPosA = readPosB = -1.0 - minDelay;
    phaseA = 0.0;
    phaseB = 0.5;
    minMargin = 1e30;
    rng = kSeed;
    crossfadeRemaining = 0;
}

void GrainShifter::SetRatio(double r)
{
    if (std::fabs(r - 1.0) >= kUnityTolerance) {
        crossfadeRemaining = 0;
    } else if (std::fabs(ratio - 1.0) >= kUnityTolerance) {
        oldGrainLength = grainLength;
        oldRatio = ratio;
        const int32_t samples = EngineMath::RoundToInt(grainLength);
        crossfadeLength = crossfadeRemaining = samples < 2 ? 1 : samples;
    }
    ratio = r;
    grainLength = GrainLengthSeconds(r) * sampleRate;
}

float GrainShifter::ReadBuffer(double position) const
{
    return ReadRing(buffer, position);
}

double GrainShifter::RestartHead(double speed)
{
    const double newest = clock - 1.0;
    double position = newest - minDelay;
    if (speed > kJitterAboveSpeed) {
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        const double u = rng * (1.0 / 4294967296.0);
        position += (2.0 * u - 1.0) * kJitterSeconds * sampleRate;
    }
    return position;
}

float GrainShifter::Read(double speed, double grain)
{
    const double step = 1.0 / grain;

    const double weightA = EngineMath::Cos(kTwoPi * phaseA);
    const float tapA = ReadBuffer(readPosA);
    readPosA += speed;
    phaseA += step;
    if (phaseA >= 1.0) {
        phaseA -= 1.0;
        minMargin = std::min(minMargin, (clock - 1.0) - readPosA);
        readPosA = RestartHead(speed);
        minMargin = std::min(minMargin, (clock - 1.0) - readPosA);
    }

    const double weightB = EngineMath::Cos(kTwoPi * phaseB);
    const float tapB = ReadBuffer(readPosB);
    readPosB += speed;
    phaseB += step;
    if (phaseB >= 1.0) {
        phaseB -= 1.0;
        minMargin = std::min(minMargin, (clock - 1.0) - readPosB);
        readPosB = RestartHead(speed);
        minMargin = std::min(minMargin, (clock - 1.0) - readPosB);
    }

    return static_cast<float>(tapA * (1.0 - weightA) * 0.5 + tapB * (1.0 - weightB) * 0.5);
}

void GrainShifter::Push(float x)
{
    if (length < 1 || buffer.empty())
        return;
    buffer[writeIndex] = x;
    clock += 1.0;
    if (++writeIndex >= length)
        writeIndex = 0;
}

void GrainShifter::RestartPlain(double position)
{
    readPosA = readPosB = position;
    phaseA = 0.0;
    phaseB = 0.5;
}

float GrainShifter::Process(float x)
{
    if (length < 1 || buffer.empty())
        return 0.0f;
    const bool unity = std::fabs(ratio - 1.0) < kUnityTolerance;
    if (unity)
        minMargin = std::min(minMargin, minDelay);
    Push(x);
    if (!unity)
        return Read(ratio, grainLength);

    const double plainPosition = clock - 1.0 - minDelay;
    if (crossfadeRemaining < 1) {
        RestartPlain(plainPosition);
        return ReadBuffer(plainPosition);
    }
    const double t = static_cast<double>(crossfadeLength - crossfadeRemaining) / crossfadeLength;
    const double shifted = Read(oldRatio, oldGrainLength);
    const double plain = ReadBuffer(plainPosition);
    const double result = EngineMath::Sin(t * kHalfPi) * plain + EngineMath::Cos(t * kHalfPi) * shifted;
    if (--crossfadeRemaining == 0)
        RestartPlain(plainPosition);
    return static_cast<float>(result);
}

void GrainShifter::Resample(double newRate)
{
    if (newRate == sampleRate || !IsUsableRate(newRate) || !FitsRing(newRate))
        return;
    const double k = newRate / sampleRate;

    const int32_t newLength = RingLengthFor(newRate);
    std::vector<float> resampled(static_cast<size_t>(newLength), 0.0f);
    for (int32_t j = 0; j < newLength; ++j)
        resampled[j] = ReadRing(buffer, clock - (newLength - j) / k);

    sampleRate = newRate;
    length = newLength;
    clock *= k;
    readPosA *= k;
    readPosB *= k;
    grainLength *= k;
    minDelay *= k;
    minMargin *= k;
    oldGrainLength *= k;
    crossfadeLength = EngineMath::RoundToInt(crossfadeLength * k);
    crossfadeRemaining = EngineMath::RoundToInt(crossfadeRemaining * k);

    // Rotate so that slot index again equals absolute position modulo length.
    const int32_t shift = static_cast<int32_t>(std::fmod(clock, static_cast<double>(length)));
    std::rotate(resampled.rbegin(), resampled.rbegin() + shift, resampled.rend());
    writeIndex = shift;
    buffer = std::move(resampled);
}
