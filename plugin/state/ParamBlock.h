#pragma once

#include "engine/tables/ParamSpec.h"

#include <cstdint>

namespace iplug {
class IStateBuffer;
}

// The parameter values at the head of a state chunk: magic, count, then one f64 per parameter
// in ParamIndex order (real values, not normalised). Older chunks are a bare run of 27 or 29
// values; they still load, with the parameters they lack at their defaults.
class ParamBlock
{
public:
    static constexpr uint32_t kMagic = 0x4B545232;
    // Fewer values than this cannot be a chunk this plug-in ever wrote.
    static constexpr int kMinCount = 35;
    // 27 legacy values; the shortest run any reader accepts.
    static constexpr int kMinBytes = 216;
    static constexpr int kWrittenBytes = 8 + 8 * kParamCount;

    // Every parameter at its table default.
    ParamBlock();

    // Appends magic, count and the values; false as soon as the buffer cannot grow.
    bool Write(iplug::IStateBuffer& out) const;

    // Reads a block starting at startPos. Returns the position after it, or -1 when the block is
    // truncated, claims too few or too many values, or holds a value that is not finite; the
    // values are then untouched. Parameters the block does not carry take their defaults, values
    // it does carry are clamped to their rows.
    int Read(const iplug::IStateBuffer& in, int startPos);

    double values[kParamCount];

private:
    static void FillDefaults(double* out, bool legacy);
};
