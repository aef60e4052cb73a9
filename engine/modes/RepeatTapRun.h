#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/StereoDouble.h"

// The repeat sums of a run of consecutive samples, added up tap by tap across
// the run instead of sample by sample. A sample's sum is a chain of up to 64
// additions in the taps' order; one chain after another, each addition waits
// for the one before. Across a run the chains of different samples go side by
// side, and a tap's reads for the whole run share its gain, decay and offset.
//
// A sample may leave its unit-speed taps (all but tap 0) to the run when the
// run's taps, gains, decay, slice and transient marks are the ones it plays
// with; its other taps it adds at once into its column, and its output waits
// for the run. Every order of additions is the order of the sample-by-sample
// sum, so the sums are the same to the bit.
class RepeatTapRun
{
public:
    static constexpr int kLength = 16;
    static constexpr int kMaxTaps = 64;
    using Frame = DelayFrame<2>;
    using Line = DelayLineView<2>;

    // What the unit-speed taps of a run share.
    struct Key
    {
        double slice = 0.0;
        double decay = 0.0;
        uint64_t unitTaps = 0; // taps left to the run
        uint64_t transients = 0;
        int active = 0;

        bool operator==(const Key& other) const
        {
            return slice == other.slice && decay == other.decay && unitTaps == other.unitTaps
                   && transients == other.transients && active == other.active;
        }
    };

    // What a sample's output adds to its sum: limit(fedPart + keep x sum +
    // heldPart) per channel, then the stereo width.
    struct Output
    {
        double fedPart[2] = {};
        double keep = 1.0;
        double heldPart[2] = {};
        double width = 0.0;
    };

    // How one sample reads the history, and its output waiting for its sum.
    struct Sample
    {
        int index = 0;
        double now = 0.0;
        std::ptrdiff_t writeIndex = 0;
        double dipCurve = 1.0;
        Output output;
        Frame sum;
    };

    RepeatTapRun();

    int Length() const { return length; }
    bool Full() const { return length == kLength; }
    // True when a sample at clock `now` that plays with `key` can join this run:
    // its samples lie within kLength clock steps of the first one, so that the
    // frames they read are still in the line when the run is finished.
    bool Takes(const Key& key, double now) const
    {
        return length == 0 || (key == runKey && now - samples[0].now < kLength);
    }
    // Starts the run's shared values with its first sample.
    void Open(const Key& key, const double (&gains)[kMaxTaps], const double (&decayPowers)[kMaxTaps]);
    // The column that the next sample's own terms go into, tap k at k x Stride().
    StereoDouble* NextColumn() { return &terms[0][length]; }
    static constexpr int Stride() { return kLength; }
    // Adds the sample as the run's next one.
    void Push(const Sample& sample);
    // Adds the unit-speed taps' terms and the samples' sums, reading the
    // history's frames as each sample saw them.
    void Finish(const float* frames, std::ptrdiff_t frameCount);
    const Sample& At(int j) const { return samples[j]; }
    void Clear();

private:
    void AddUnitTerms(const float* frames, std::ptrdiff_t frameCount);
    bool Consecutive() const;
    double DipOf(int k, int j) const;
    void AddTapTermsOneByOne(int k, double offset, const float* frames, std::ptrdiff_t frameCount);
    bool AddConsecutiveTapTerms(int k, double offset, const float* frames, std::ptrdiff_t frameCount);
    void SumLaterSamples();

    StereoDouble terms[kMaxTaps][kLength];
    Sample samples[kLength];
    Key runKey;
    double gain[kMaxTaps] = {};
    double decayPower[kMaxTaps] = {};
    int length = 0;
};
