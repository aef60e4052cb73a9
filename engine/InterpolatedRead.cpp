#include "engine/InterpolatedRead.h"

#include <cmath>

float ReadSinc(const HistoryRing& ring, double position, const SincTable& table)
{
    SincPlace place;
    if (!FindSincPlace(ring, position, table, place))
        return 0.0f;
    const int length = ring.length;
    const int age = place.age;
    const double u = place.u;
    const double* rowA = place.rowA;
    const double* rowB = place.rowB;

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
