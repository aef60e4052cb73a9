#pragma once
#include <cstdint>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"

// What the wear stage's per-channel units share: the amount glides over 10 ms,
// and at amount 0 the unit fades to its dry input and then passes it through
// untouched, clearing its filters when it wakes again.
class AmountStage
{
public:
    // The amount (0..1) the unit glides to.
    void SetAmount(double value)
    {
        amount = value;
        amountSmoother.target = value;
    }
    // Amount 0 without moving the glide: a preparation lands the glide on it.
    void ClearAmount() { amount = 0.0; }

    // True when the next sample's step would find the unit faded out at amount 0
    // and change nothing, so that the unit passes its input through untouched.
    bool StaysBypassed() const;
    // True when the next sample's step would find the unit running and change
    // nothing; `smoothed` then gets the amount that step would give.
    bool StaysRunning(double& smoothed) const;

protected:
    double sampleRate = EngineMath::kDefaultSampleRate;
    double amount = 0.0;
    ParamSmoother amountSmoother;
    double bypassMix = 1.0;
    double bypassCoefficient = 1.0;
    uint8_t bypassed = 0;
    double cachedAmount = -1.0;

    enum class Step
    {
        Bypassed, // pass the input through
        Woken,    // first sample after a bypass: clear the filters, then process
        Running,
    };

    void ResetAmountToConstructed();
    // Takes the rate (an unusable one becomes the default) and sets the glide for it.
    void PrepareAmount(double rate);
    // Lands the glide and the bypass fade on the current amount.
    void ResetAmount();
    // One sample of the glide and the fade; `smoothed` gets the amount within 0..1.
    Step StepAmount(double& smoothed);

    double Blend(double wet, double dry) const { return wet * (1.0 - bypassMix) + dry * bypassMix; }
};
