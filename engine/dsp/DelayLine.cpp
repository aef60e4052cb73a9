#include "engine/dsp/DelayLine.h"

float ReadSinc(const DelayLineView<1>& ring, double position, const SincTable& table)
{
    SincPlace place;
    if (!FindSincPlace(ring, position, table, place))
        return 0.0f;
    double sum = 0.0;
    for (int k = 0; k < table.TapCount(); ++k)
        sum += place.Weight(k) * ring.samples[place.HeldTapIndex(ring, table, k)];
    return static_cast<float>(sum);
}
