#include "engine/modes/RepeatTapRun.h"

#include <algorithm>
#include <cmath>
#include <iterator>

RepeatTapRun::RepeatTapRun()
{
    // The columns past a short run's end are summed too (and their sums
    // dropped), so every value starts defined.
    for (auto& row : terms)
        std::fill(std::begin(row), std::end(row), StereoDouble(0.0));
}

void RepeatTapRun::Open(const Key& key, const double (&gains)[kMaxTaps], const double (&decayPowers)[kMaxTaps])
{
    runKey = key;
    std::copy(std::begin(gains), std::end(gains), gain);
    std::copy(std::begin(decayPowers), std::end(decayPowers), decayPower);
}

void RepeatTapRun::Push(const Sample& sample)
{
    samples[length++] = sample;
}

void RepeatTapRun::Finish(const float* frames, std::ptrdiff_t frameCount)
{
    if (length == 0)
        return;
    AddUnitTerms(frames, frameCount);
    SumLaterSamples();
}

void RepeatTapRun::Clear()
{
    length = 0;
}

// Tap k of sample j reads at now_j - (k + 1) x slice, as the sample-by-sample
// sum does, and scales by the same factors in the same order.
void RepeatTapRun::AddUnitTerms(const float* frames, std::ptrdiff_t frameCount)
{
    const bool consecutive = Consecutive();
    for (uint64_t taps = runKey.unitTaps; taps != 0; taps &= taps - 1) {
        const int k = __builtin_ctzll(taps);
        StereoDouble* row = terms[k];
        if (!(gain[k] > 0.0)) {
            std::fill(row, row + length, StereoDouble(0.0));
            continue;
        }
        const double offset = static_cast<double>(k + 1) * runKey.slice;
        if (!(consecutive && AddConsecutiveTapTerms(k, offset, frames, frameCount)))
            AddTapTermsOneByOne(k, offset, frames, frameCount);
    }
}

// The run's samples came one clock step and one write slot after the other. A
// writer that wrapped in between leaves the slots' difference a line's length
// short: such a run, one in a line's length of samples, is read one by one.
bool RepeatTapRun::Consecutive() const
{
    const Sample& first = samples[0];
    const Sample& last = samples[length - 1];
    const std::ptrdiff_t steps = length - 1;
    return last.now - first.now == static_cast<double>(steps) && last.writeIndex - first.writeIndex == steps;
}

double RepeatTapRun::DipOf(int k, int j) const
{
    return ((runKey.transients >> k) & 1u) ? samples[j].dipCurve : 1.0;
}

void RepeatTapRun::AddTapTermsOneByOne(int k, double offset, const float* frames, std::ptrdiff_t frameCount)
{
    const StereoDouble scaleGain(gain[k]);
    const StereoDouble scaleDecay(decayPower[k]);
    for (int j = 0; j < length; ++j) {
        const Sample& s = samples[j];
        const Line line(frames, frameCount, s.writeIndex, s.now);
        const Frame read = line.ReadWrittenInside(s.now - offset);
        const double dip = DipOf(k, j);
        terms[k][j] = scaleGain * StereoDouble(read.left * dip, read.right * dip) * scaleDecay;
    }
}

// When the run's samples are consecutive, a tap reads consecutive frames across
// the run: each sample's position and fraction still come from its own clock,
// and the frames from one stretch of the line. False when the stretch would
// wrap or a position does not fall one frame after the last.
bool RepeatTapRun::AddConsecutiveTapTerms(int k, double offset, const float* frames, std::ptrdiff_t frameCount)
{
    // Sample j's clock is the first one plus j, exactly. Its position minus the
    // first position's whole part plus j is its fraction, x - floor(x), to the
    // bit whenever it lies in [0, 1): then that whole part is x's floor.
    const double firstNow = samples[0].now;
    const double firstWhole = std::floor(firstNow - offset);
    double fraction[kLength];
    int stepsByOne = 0;
    for (int j = 0; j < length; ++j) {
        const double x = (firstNow + j) - offset;
        const double f = x - (firstWhole + j);
        fraction[j] = f;
        stepsByOne += (f >= 0.0) & (f < 1.0);
    }
    const std::ptrdiff_t back = static_cast<std::ptrdiff_t>(firstNow - firstWhole);
    const std::ptrdiff_t writer = samples[0].writeIndex;
    const std::ptrdiff_t first = writer >= back ? writer - back : writer + frameCount - back;
    if (stepsByOne != length || first + length >= frameCount)
        return false;
    const float* frame = frames + 2 * first;
    const StereoDouble scaleGain(gain[k]);
    const StereoDouble scaleDecay(decayPower[k]);
    StereoDouble* row = terms[k];
    for (int j = 0; j < length; ++j, frame += 2) {
        const StereoDouble read = StereoDouble::FromFloats(frame)
                                  + StereoDouble::FloatDifference(frame, frame + 2) * StereoDouble(fraction[j]);
        row[j] = scaleGain * (read * StereoDouble(DipOf(k, j))) * scaleDecay;
    }
    return true;
}

void RepeatTapRun::SumLaterSamples()
{
    StereoDouble sums[kLength];
    std::fill(std::begin(sums), std::end(sums), StereoDouble(0.0));
    for (int k = 0; k < runKey.active; ++k)
        for (int j = 0; j < length; ++j)
            sums[j] = sums[j] + terms[k][j];
    for (int j = 0; j < length; ++j)
        samples[j].sum = {sums[j].Left(), sums[j].Right()};
}
