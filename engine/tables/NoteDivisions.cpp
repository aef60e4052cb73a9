#include "engine/tables/NoteDivisions.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/EngineMath.h"

const double NoteDivisions[kNoteDivisionCount] = {
    0.125, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0, 8.0, 16.0, 0.0625, 1.0 / 6.0, 1.0 / 3.0, 2.0 / 3.0, 4.0 / 3.0,
};

namespace {

constexpr int kLastStraightDivision = 10;
constexpr int kSixtyFourth = 11;
constexpr double kRepeatMaxSeconds = 1.2;
// Both evaluated in double precision; the readout and the engine must agree to the bit.
constexpr double kEchoRatio = 1.2 / 0.05;
constexpr double kEchoMaxSeconds = 0.05 * 24.0;

int ClampDivision(int division)
{
    return std::clamp(division, 0, kNoteDivisionCount - 1);
}

double DivisionLength(int index, double tempo)
{
    return NoteDivisions[index] * 60.0 / tempo;
}

} // namespace

double EffectiveTempo(double bpm)
{
    return std::isfinite(bpm) ? std::clamp(bpm, 20.0, 999.0) : 120.0;
}

int ResolveDivisionIndex(bool tableOrder, int index)
{
    const int clamped = ClampDivision(index);
    if (clamped > kLastStraightDivision || tableOrder)
        return clamped;
    return 8 - std::min(clamped, 8);
}

double DivisionSeconds(double freeSeconds, bool sync, int division, double bpm)
{
    if (!sync)
        return freeSeconds;
    return DivisionLength(ClampDivision(division), EffectiveTempo(bpm));
}

int LimitDivisionForRepeat(int division, double bpm)
{
    const double tempo = EffectiveTempo(bpm);
    if (division == kSixtyFourth)
        return division;
    if (division >= 12 && division <= 15) {
        if (DivisionLength(division, tempo) <= kRepeatMaxSeconds)
            return division;
        static constexpr int kStraightBelowTriplet[4] = {0, 1, 2, 4};
        division = kStraightBelowTriplet[division - 12];
    }
    for (int index = std::clamp(division, 0, kLastStraightDivision); index >= 0; --index) {
        if (DivisionLength(index, tempo) <= kRepeatMaxSeconds)
            return index;
    }
    return kSixtyFourth;
}

double SyncedSeconds(double bpm, double macro, bool sync, int division)
{
    const double freeSeconds = 0.05 * std::pow(kEchoRatio, std::clamp(macro, 0.0, 1.0));
    const double t = DivisionSeconds(freeSeconds, sync, ClampDivision(division), bpm);
    return std::clamp(t, 0.01, kEchoMaxSeconds);
}

double MacroReadoutValue(int mode, double macro, bool sync, int division, double bpm, double sampleRate,
                         bool repeatEngine)
{
    const double rate = EngineMath::UsableSampleRate(sampleRate);
    const double m = std::clamp(macro, 0.0, 1.0);
    const int clamped = ClampDivision(division);

    if (mode == 0) {
        const double freeRate = 0.5 * std::pow(24.0, m);
        return DivisionSeconds(1.0 / freeRate, sync, ResolveDivisionIndex(false, clamped), bpm);
    }
    if (mode == 1 && repeatEngine) {
        const int index = sync ? LimitDivisionForRepeat(division, bpm) : clamped;
        const double t = DivisionSeconds(0.01 * std::pow(120.0, m), sync, index, bpm);
        return std::clamp(t, 0.001, kRepeatMaxSeconds);
    }
    if (mode == 1) {
        const double t = DivisionSeconds(0.05 * std::pow(kEchoRatio, m), sync, clamped, bpm);
        return std::max(std::min(t, kEchoMaxSeconds), 0.06 + 4.0 / rate);
    }
    const double t = DivisionSeconds(0.01 * std::pow(1600.0, m), sync, clamped, bpm);
    const double fadeSeconds = 2.0 * EngineMath::RoundToInt(rate * 0.005) / rate;
    if (sync && fadeSeconds > t)
        return std::ceil(fadeSeconds / t) * t;
    return std::clamp(t, 0.01, 16.0);
}
