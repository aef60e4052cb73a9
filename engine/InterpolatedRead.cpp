#include "engine/InterpolatedRead.h"

#include <cmath>

float ReadSinc(const HistoryRing& ring, double position, const SincTable& table)
{
    const int length = ring.length;
    if (length < 2 || ring.samples == nullptr || table.halfWidth < 1)
        return 0.0f;
    const double f = RingIndex(ring, position);
    if (f < 0.0)
        return 0.0f;
    const int i = static_cast<int>(f);
    int age = ring.writeIndex - i;
    if (age < 1)
        age += length;

    const double g = (f - i) * SincTable::kPhases;
    int phase = static_cast<int>(g);
    if (phase > SincTable::kPhases - 1)
        phase = SincTable::kPhases - 1;
    const double u = g - phase;
    const double* rowA = table.Row(phase);
    const double* rowB = table.Row(phase + 1);

    const int n = table.halfWidth;
    const int taps = table.TapCount();
    double sum = 0.0;
    for (int k = 0; k < taps; ++k) {
        int delay = n - 1 + age - k;
        if (delay < 1)
            delay = 1;
        else if (delay > length - 1)
            delay = length - 1;
        int index = ring.writeIndex - delay;
        if (index < 0)
            index += length;
        const double weight = (1.0 - u) * rowA[k] + u * rowB[k];
        sum += weight * ring.samples[index];
    }
    return static_cast<float>(sum);
}
