#pragma once
#include <cstdint>

#include "engine/dsp/EngineMath.h"

// One-pole smoother shared by every stage. Each caller lands it on its target
// with its own tolerance; the coefficient caches keep exp() off the audio path
// while the time and interval stay the same.
struct ParamSmoother
{
    double current = 0.0;
    double target = 0.0;
    double coefficient = 1.0;
    double time = 0.05;
    double stepInterval = 0.0;
    double stepTime = 0.0;
    double stepCoefficient = 0.0;
    double configuredTime = 0.0;
    double configuredRate = 0.0;
    double configuredCoefficient = 0.0;
    uint8_t stepValid = 0;
    uint8_t configured = 0;

    // Sets the per-sample coefficient for a time constant (seconds) at a rate (Hz).
    void Configure(double time, double rate);

    // Moves current towards target over an interval in seconds; 1e6 s lands it.
    void Step(double interval)
    {
        double a = 0.0;
        if (interval > 0.0) {
            if (!stepValid || interval != stepInterval || time != stepTime)
                UpdateStepCoefficient(interval);
            a = stepCoefficient;
        }
        current += (target - current) * a;
    }

    // True when Step(interval) would leave current as it is, bit for bit, and keep its
    // coefficient: the step has settled (a one-pole can stop an ulp short of its target
    // and stay there, so "current == target" is not the test).
    bool StepHolds(double interval) const
    {
        double a = 0.0;
        if (interval > 0.0) {
            if (!stepValid || interval != stepInterval || time != stepTime)
                return false;
            a = stepCoefficient;
        }
        return EngineMath::SameBits(current + (target - current) * a, current);
    }

    // True when one per-sample step by `stepRule` (a Tick with the caller's own
    // landing rule) would leave current as it is, bit for bit.
    template <class StepRule>
    bool StepRuleHolds(StepRule stepRule) const
    {
        ParamSmoother probe = *this;
        stepRule(probe);
        return EngineMath::SameBits(probe.current, current);
    }

    // True when Tick() would leave current as it is, bit for bit.
    bool TickHolds() const
    {
        return StepRuleHolds([](ParamSmoother& s) { s.Tick(); });
    }

    // The coefficient for an interval, kept until the interval or the time changes.
    void UpdateStepCoefficient(double interval);

    // The per-sample glide: current moves by coefficient towards target.
    double Tick()
    {
        current = (target - current) * coefficient + current;
        return current;
    }
};
