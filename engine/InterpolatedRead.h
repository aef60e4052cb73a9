#pragma once

#include <cmath>

#include "engine/HistoryRing.h"

// Position arithmetic for the reads of a ring indexed by absolute position
// modulo its length (the reads themselves are DelayLine's).

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
