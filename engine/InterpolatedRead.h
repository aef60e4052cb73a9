#pragma once

#include <cmath>

#include "engine/HistoryRing.h"
#include "engine/SincTable.h"

// Reads of a history ring at a position between samples.

// Ring index (with fraction) of an absolute position. Positions outside the ring
// wrap instead of indexing past it; a non-finite position gives -1.
inline double RingIndex(const HistoryRing& ring, double position)
{
    const double length = ring.length;
    double f = ring.writeIndex - (ring.clock - position);
    if (f < 0.0)
        f += length;
    if (f >= 0.0 && f < length)
        return f;
    if (!std::isfinite(f))
        return -1.0;
    f = std::fmod(f, length);
    if (f < 0.0)
        f += length;
    return f < length ? f : 0.0;
}

// Linear interpolation between the two slots around the position. Inline: the
// loop voices read twice per sample each.
inline float ReadLinear(const HistoryRing& ring, double position)
{
    if (ring.length < 1 || ring.samples == nullptr)
        return 0.0f;
    const double f = RingIndex(ring, position);
    if (f < 0.0)
        return 0.0f;
    const int i = static_cast<int>(f);
    const double frac = f - i;
    const int j = i + 1 >= ring.length ? 0 : i + 1;
    return static_cast<float>(ring.samples[i] * (1.0 - frac) + ring.samples[j] * frac);
}

// Where a windowed-sinc read takes its taps: the age of the slot at or before
// the position (1 is the newest sample) and the blend u between the table's two
// rows around the position's fraction.
struct SincPlace
{
    int age = 0;
    double u = 0.0;
    const double* rowA = nullptr;
    const double* rowB = nullptr;

    double Weight(int k) const { return (1.0 - u) * rowA[k] + u * rowB[k]; }

    // How far back tap 0 lies; tap k lies k slots later.
    int FirstDelay(const SincTable& table) const { return table.halfWidth - 1 + age; }

    // The ring slot of tap k; a tap past either end of the ring reads the end slot.
    int HeldTapIndex(const HistoryRing& ring, const SincTable& table, int k) const
    {
        int delay = FirstDelay(table) - k;
        if (delay < 1)
            delay = 1;
        else if (delay > ring.length - 1)
            delay = ring.length - 1;
        const int index = ring.writeIndex - delay;
        return index < 0 ? index + ring.length : index;
    }
};

// False when the ring or the table cannot serve a read or the position is not finite.
inline bool FindSincPlace(const HistoryRing& ring, double position, const SincTable& table, SincPlace& place)
{
    const int length = ring.length;
    if (length < 2 || ring.samples == nullptr || table.halfWidth < 1)
        return false;
    const double f = RingIndex(ring, position);
    if (f < 0.0)
        return false;
    const int i = static_cast<int>(f);
    place.age = ring.writeIndex - i;
    if (place.age < 1)
        place.age += length;

    const double g = (f - i) * SincTable::kPhases;
    int phase = static_cast<int>(g);
    if (phase > SincTable::kPhases - 1)
        phase = SincTable::kPhases - 1;
    place.u = g - phase;
    place.rowA = table.Row(phase);
    place.rowB = table.Row(phase + 1);
    return true;
}

// Windowed-sinc interpolation with a table from GetSincTable. Taps that would lie
// after the newest written sample read the newest sample instead.
float ReadSinc(const HistoryRing& ring, double position, const SincTable& table);

// std::fmod(position, length) for a finite position and a whole-number length,
// bit for bit: a position below 2^40 and its remainder differ by a whole number
// of lengths that a double holds exactly, so one division and one subtraction
// find the remainder without fmod's bitwise long division.
inline double RemainderOfPosition(double position, double length)
{
    if (!(position > 0.0 && position < 1099511627776.0))
        return std::fmod(position, length);
    // A quotient below a whole number never rounds down past it; one that rounds
    // up to it leaves a remainder one length short.
    const double r = position - std::floor(position / length) * length;
    return r < 0.0 ? r + length : r;
}
