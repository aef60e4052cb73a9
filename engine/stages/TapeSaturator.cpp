#include "engine/stages/TapeSaturator.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::kTwoPi;
// The drive curve over the smoothed amount a: G = (2.5 a^1.3 + 1) / (1 - 0.2 a^2),
// 0.4 a more on the positive side than on the negative, make-up G^-0.62.
constexpr double kDriveGain = 2.5;
constexpr double kDriveExponent = 1.3;
constexpr double kDriveSquareCut = 0.2;
constexpr double kDriveAsymmetry = 0.4;
constexpr double kMakeupExponent = -0.62;
// The saturation fades in over amounts up to 0.075.
constexpr double kFadeInAmount = 0.075;
} // namespace

const double TapeSaturator::kHalfBand8[kTaps] = {-0.0051639, -0.0228819, 0.0967484,  0.4313074,
                                                 0.4313074,  0.0967484,  -0.0228819, -0.0051639};

TapeSaturator::TapeSaturator()
{
    ResetToConstructed();
}

void TapeSaturator::ResetToConstructed()
{
    ResetAmountToConstructed();
    positiveDrive = negativeDrive = makeup = 1.0;
    mix = 0.0;
    ClearFilters();
}

void TapeSaturator::Prepare(double rate)
{
    PrepareAmount(rate);
    Reset();
}

void TapeSaturator::Reset()
{
    ClearFilters();
    ResetAmount();
}

// The filters start over at the current rate.
void TapeSaturator::ClearFilters()
{
    dcPole = std::clamp(1.0 - kTwoPi * 10.0 / sampleRate, 0.0, 0.999999);
    std::fill(std::begin(upHistory), std::end(upHistory), 0.0);
    std::fill(std::begin(downHistory), std::end(downHistory), 0.0);
    upIndex = 0;
    downIndex = 0;
    dcInPrev = 0.0;
    dcOutPrev = 0.0;
}

void TapeSaturator::UpdateDrive(double a)
{
    const double g = (kDriveGain * std::pow(a, kDriveExponent) + 1.0) / (1.0 - kDriveSquareCut * a * a);
    negativeDrive = (1.0 - kDriveAsymmetry * a) * g;
    positiveDrive = (1.0 + kDriveAsymmetry * a) * g;
    makeup = std::pow(g, kMakeupExponent);
    const double u = a > 0.0 ? std::min(a / kFadeInAmount, 1.0) : 0.0;
    mix = u * u * (3.0 - 2.0 * u);
    cachedAmount = a;
}

// The ring is held twice in a row, so the taps read contiguous samples from the
// newest one on without wrapping. A tap on a zero would add exactly nothing to the
// sum (which never holds -0, as it starts at +0), so leaving it out changes no bit.
template <int First, int Stride>
double TapeSaturator::Push(double (&history)[2 * kTaps], int& index, double x)
{
    index = index == 0 ? kTaps - 1 : index - 1;
    history[index] = x;
    history[index + kTaps] = x;
    const double* newestFirst = history + index;
    double sum = 0.0;
    for (int t = First; t < kTaps; t += Stride)
        sum += kHalfBand8[t] * newestFirst[t];
    return sum;
}

double TapeSaturator::Process(double x)
{
    double a = 0.0;
    const Step step = StepAmount(a);
    return Continue(x, a, step);
}

void TapeSaturator::ProcessBoth(TapeSaturator& left, TapeSaturator& right, double& xL, double& xR)
{
    double aL = 0.0;
    double aR = 0.0;
    const Step stepL = left.StepAmount(aL);
    const Step stepR = right.StepAmount(aR);
    ContinueBoth(left, right, xL, xR, aL, stepL, aR, stepR);
}

void TapeSaturator::ProcessBothRunning(TapeSaturator& left, TapeSaturator& right, double& xL, double& xR,
                                       double amountL, double amountR)
{
    ContinueBoth(left, right, xL, xR, amountL, Step::Running, amountR, Step::Running);
}

void TapeSaturator::ContinueBoth(TapeSaturator& left, TapeSaturator& right, double& xL, double& xR, double aL,
                                 Step stepL, double aR, Step stepR)
{
    if (!(left.Prepared(aL, stepL) && right.Prepared(aR, stepR) && aL == aR)) {
        xL = left.Continue(xL, aL, stepL);
        xR = right.Continue(xR, aR, stepR);
        return;
    }
    // Equal amounts give equal curves, so the left unit's serve both lanes.
    double u0L, u1L, u0R, u1R;
    left.UpSample(xL, u0L, u1L);
    right.UpSample(xR, u0R, u1R);
    const StereoDouble shaped0 = left.Shape(StereoDouble(u0L, u0R));
    const StereoDouble shaped1 = left.Shape(StereoDouble(u1L, u1R));
    xL = left.Finish(shaped0.Left(), shaped1.Left(), xL);
    xR = right.Finish(shaped0.Right(), shaped1.Right(), xR);
}

// Readies the unit for a sample at smoothed amount a; false when it is bypassed.
bool TapeSaturator::Prepared(double a, Step step)
{
    if (step == Step::Bypassed)
        return false;
    if (step == Step::Woken)
        ClearFilters();
    if (a != cachedAmount)
        UpdateDrive(a);
    return true;
}

double TapeSaturator::Continue(double x, double a, Step step)
{
    if (!Prepared(a, step))
        return x;
    double u0, u1;
    UpSample(x, u0, u1);
    return Finish(Shape(u0), Shape(u1), x);
}

// Zero-stuffed 2x: the stuffed zero keeps the filter's gain at 1 after the x2.
// Every other sample of the up history is a stuffed zero, so each output needs
// only the taps on real samples.
void TapeSaturator::UpSample(double x, double& u0, double& u1)
{
    u0 = Push<0, 2>(upHistory, upIndex, 2.0 * x);
    u1 = Push<1, 2>(upHistory, upIndex, 0.0);
}

double TapeSaturator::Shape(double u) const
{
    const double drive = u >= 0.0 ? positiveDrive : negativeDrive;
    return (EngineMath::Tanh(u * drive) * makeup - u) * mix + u;
}

StereoDouble TapeSaturator::Shape(StereoDouble u) const
{
    const StereoDouble drive = Select(u >= 0.0, positiveDrive, negativeDrive);
    return (EngineMath::Tanh(u * drive) * makeup - u) * mix + u;
}

// Down-sampling (only the first output of the pair is used), DC blocker and bypass blend.
double TapeSaturator::Finish(double shaped0, double shaped1, double x)
{
    const double d = Push<0, 1>(downHistory, downIndex, shaped0);
    Push<kTaps, 1>(downHistory, downIndex, shaped1);

    const double y = dcPole * dcOutPrev + (d - dcInPrev);
    dcInPrev = d;
    dcOutPrev = y;
    return Blend(y, x);
}
