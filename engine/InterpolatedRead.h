#pragma once

#include <cmath>

#include "engine/HistoryRing.h"
#include "engine/SincTable.h"

// Reads of a history ring at a position between samples.

// Linear interpolation between the two slots around the position.
float ReadLinear(const HistoryRing& ring, double position);

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
