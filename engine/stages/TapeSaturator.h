#pragma once
#include "engine/stages/AmountStage.h"

// Tape-style asymmetric tanh saturation for one channel, run at twice the
// sample rate, with a DC blocker and its own smoothed bypass.
class TapeSaturator : public AmountStage
{
public:
    static constexpr int kTaps = 8;
    static const double kHalfBand8[kTaps];

    TapeSaturator();

    void ResetToConstructed();
    void Prepare(double rate);
    void Reset();

    double Process(double x);
    // Process of both channels' units: when they glide alike, as they do with the
    // same settings, their saturation curves run together on both lanes.
    static void ProcessBoth(TapeSaturator& left, TapeSaturator& right, double& xL, double& xR);
    // ProcessBoth for units whose amount steps would change nothing (StaysRunning
    // true, giving amountL and amountR).
    static void ProcessBothRunning(TapeSaturator& left, TapeSaturator& right, double& xL, double& xR, double amountL,
                                   double amountR);

private:
    double positiveDrive = 1.0;
    double negativeDrive = 1.0;
    double makeup = 1.0;

    void ClearFilters();
    void UpdateDrive(double a);
    // What follows the amount's step for one sample: the whole unit, or the filters
    // and curve by parts for ProcessBoth.
    double Continue(double x, double a, Step step);
    static void ContinueBoth(TapeSaturator& left, TapeSaturator& right, double& xL, double& xR, double aL, Step stepL,
                             double aR, Step stepR);
    bool Prepared(double a, Step step);
    void UpSample(double x, double& u0, double& u1);
    double Shape(double u) const;
    StereoDouble Shape(StereoDouble u) const;
    double Finish(double shaped0, double shaped1, double x);
    // Pushes x and returns the filter over the kTaps newest samples from tap `first`
    // on, every `stride`-th tap (the others meet stuffed zeros).
    template <int First, int Stride>
    static double Push(double (&history)[2 * kTaps], int& index, double x);

    double upHistory[2 * kTaps] = {};
    double downHistory[2 * kTaps] = {};
    int upIndex = 0;
    int downIndex = 0;
    double dcPole = 0.0; // of the DC blocker, for sampleRate
    double dcInPrev = 0.0;
    double dcOutPrev = 0.0;
    double mix = 0.0;
};
