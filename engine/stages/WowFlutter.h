#pragma once
#include <cstdint>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"

// Tape wow and flutter for one channel: a short delay line whose read position
// is swept by three slow (wow) and two fast (flutter) sines plus a chaos offset.
class WowFlutter
{
public:
    static constexpr int kLineLength = 8192;
    static constexpr int kPhaseCount = 5;

    WowFlutter();

    // Constructed state: amount 0, phases from seed 1, silent line.
    void ResetToConstructed();
    // Allocates the line; without it (before a preparation, or when the memory
    // cannot be had) the unit passes its input through.
    void Prepare(double rate);
    // Silent line, phases back to their seeded start, depth landed on amount.
    void Reset();
    // Starting phases from a seed; units given the same seed move alike.
    void SeedPhases(uint32_t seedValue);

    double Process(double x);
    // One step of the depth glide and of the sweep, advancing the phases: the
    // delay to read at, in samples. Process is DelayRead at NextDelay.
    double NextDelay();
    // The sweep of `other` moves exactly as this one's (same rate, amount, chaos
    // offset, depth glide and phases): one NextDelay can then serve both, as long
    // as both get the same settings.
    bool SweepsLike(const WowFlutter& other) const;
    // Takes over the sweep of a unit whose NextDelay served this one too.
    void FollowSweep(const WowFlutter& leader);

    // Writes x and reads back `delaySamples` behind it: linear below two samples,
    // six-point Lagrange from three, blended in between.
    double DelayRead(double x, double delaySamples);
    // DelayRead of both units at one delay: the interpolation weights are worked out
    // once when their write positions agree, as they do while they run side by side.
    static void DelayReadBoth(WowFlutter& left, WowFlutter& right, double& xL, double& xR, double delaySamples);

    // The sweep depth (0..1) the unit glides to, and the chaos offset of the sweep.
    void SetAmount(double value, double chaos)
    {
        amount = value;
        depthSmoother.target = value;
        chaosOffset = chaos;
    }
    // Amount 0 without moving the glide: a preparation lands the glide on it.
    void ClearAmount() { amount = 0.0; }

private:
    double sampleRate = EngineMath::kDefaultSampleRate;
    double amount = 0.0;
    double chaosOffset = 0.0;
    ParamSmoother depthSmoother;
    DelayLine<1> line;
    double phases[kPhaseCount] = {};
    double initialPhases[kPhaseCount] = {};

    // kOmega / sampleRate, the phases' advance per sample at the rate last set.
    double phaseSteps[kPhaseCount] = {};

    // Where a read at some delay lands and how its neighbours are weighted.
    struct Interpolation
    {
        DelayTap tap;
        Lagrange6 lagrange;
        double lagrangeMix = 0.0; // 0 = linear only, 1 = Lagrange only
    };

    Interpolation InterpolationAt(double delaySamples) const;
    void UpdatePhaseSteps();
    double ReadAt(double x, const Interpolation& at);
};
