#include "engine/dsp/ParamSmoother.h"

#include <cmath>

void ParamSmoother::Configure(double timeSeconds, double rate)
{
    const double t = timeSeconds > 0.0 ? timeSeconds : 1e-9;
    if (configured && timeSeconds == configuredTime && rate == configuredRate && time == t
        && coefficient == configuredCoefficient)
        return;
    time = t;
    const double product = t * rate;
    const double c = product > 0.0 ? 1.0 - std::exp(-1.0 / product) : 1.0;
    coefficient = c;
    configuredTime = timeSeconds;
    configuredRate = rate;
    configuredCoefficient = c;
    configured = 1;
}

void ParamSmoother::UpdateStepCoefficient(double interval)
{
    stepTime = time;
    stepInterval = interval;
    stepValid = 1;
    stepCoefficient = 1.0 - std::exp(-interval / time);
}
