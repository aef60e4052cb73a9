#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/dsp/HistoryRing.h"

// Position arithmetic for the reads of a ring indexed by absolute position
// modulo its length, and the reads of such a ring through a DelayLineView.

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

// Ring index (with fraction) of a position on a ring whose slot is the position
// modulo its length, found exactly through the remainder; -1 for a position that
// is not finite. A negative remainder that wraps up to the length itself lies at
// slot 0.
inline double SlotOfPosition(double position, double length)
{
    if (!std::isfinite(position))
        return -1.0;
    double slot = RemainderOfPosition(position, length);
    if (slot < 0.0)
        slot += length;
    return slot < length ? slot : 0.0;
}

// Linear interpolation between the slot at or before a ring index (with
// fraction) and the slot after it, the last slot blending into the first.
template <int Channels>
inline DelayFrame<Channels> BlendAtSlot(const DelayLineView<Channels>& ring, double slot)
{
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(slot);
    const std::ptrdiff_t j = i + 1 >= ring.length ? 0 : i + 1;
    return ring.Blend(i, j, slot - static_cast<double>(i));
}

// Linear read of a ring whose slot is the position modulo its length (the
// writer keeps its slot at the clock modulo the length), whatever the clock.
template <int Channels>
inline DelayFrame<Channels> ReadLinearModuloFrame(const DelayLineView<Channels>& ring, double position)
{
    if (ring.length < 1 || ring.samples == nullptr)
        return {};
    const double slot = SlotOfPosition(position, ring.span);
    if (slot < 0.0)
        return {};
    return BlendAtSlot(ring, slot);
}

// ReadLinearModuloFrame of a ring whose clock counts whole frames, so that the
// clock less the write slot is a whole number of laps: a position in the first
// lap is its own slot, and one within a lap either way of the writer finds its
// slot by taking those laps off, exactly and without a division. Inline: the
// echo's taps read several times per sample each.
template <int Channels>
inline DelayFrame<Channels> ReadLinearWholeClockFrame(const DelayLineView<Channels>& ring, double position)
{
    // Below this a position's ulp is far under one frame, so whole laps subtract exactly.
    constexpr double kExactLapLimit = 1099511627776.0;
    const double span = ring.span;
    double slot = position;
    if (!(position >= 0.0 && position < span)) {
        slot = position - (ring.clock - static_cast<double>(ring.writeIndex));
        if (!(position >= span && position < kExactLapLimit && slot > -span && slot < span))
            return ReadLinearModuloFrame(ring, position);
        if (slot < 0.0)
            slot += span;
    }
    return BlendAtSlot(ring, slot);
}

// The sample at a whole-number index taken modulo the ring's length.
inline float SampleModulo(const DelayLineView<1>& ring, int64_t index)
{
    int64_t slot = index % ring.length;
    if (slot < 0)
        slot += ring.length;
    return ring.samples[slot];
}

// Linear interpolation in single precision from the sample at a whole-number
// index (modulo the length) towards the next, `t` of the way.
inline float ReadLinearSingle(const DelayLineView<1>& ring, int64_t index, float t)
{
    const float x0 = SampleModulo(ring, index);
    const float x1 = SampleModulo(ring, index + 1);
    return x0 + (x1 - x0) * t;
}

// Catmull-Rom interpolation in single precision over the four samples from a
// whole-number index (modulo the length), `t` of the way from the second to the
// third.
inline float ReadCubicSingle(const DelayLineView<1>& ring, int64_t index, float t)
{
    const float p0 = SampleModulo(ring, index);
    const float p1 = SampleModulo(ring, index + 1);
    const float p2 = SampleModulo(ring, index + 2);
    const float p3 = SampleModulo(ring, index + 3);
    return 0.5f
           * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t * t
              + (3.0f * (p1 - p2) + p3 - p0) * t * t * t);
}
