#pragma once
#include "engine/stages/AmountStage.h"

// Worn-tape tone for one channel: a low bump at 80 Hz rising to 6 dB and a
// high cut falling from 18 kHz to 2.6 kHz as the amount grows.
class ToneStage : public AmountStage
{
public:
    ToneStage();

    void ResetToConstructed();
    void Prepare(double rate);
    void Reset();

    double Process(double x);

private:
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double lowPole = 0.0;
    double bumpCos = 1.0;
    double bumpSin = 0.0;

    void ClearFilters();
    void UpdateCoefficients(double a);

    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    double low = 0.0;
};
