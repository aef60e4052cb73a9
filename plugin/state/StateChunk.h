#pragma once

#include "plugin/state/FrozenSection.h"
#include "plugin/state/ParamBlock.h"

#include <cstdint>
#include <vector>

namespace iplug {
class IStateBuffer;
}

// The effect's whole state as one byte format: a parameter block followed by a frozen-loop
// section. Host states, factory presets and preset files all carry it.
class StateChunk
{
public:
    // Size of a chunk written without frozen-loop audio.
    static constexpr int kEmptyBytes = ParamBlock::kWrittenBytes + FrozenSection::kHeaderBytes;

    // Appends the chunk; false when any part of it could not be appended.
    bool Write(iplug::IStateBuffer& out) const;

    // Reads a chunk at startPos. Returns the position after it (a trailing 4-byte host flag is
    // left unread), or -1 when the parameter block is rejected; this chunk is then untouched.
    // A frozen loop is taken only when the section is sound and the values read have Loop Freeze
    // on; any other section leaves frozenLoop empty and never fails the read.
    int Read(const iplug::IStateBuffer& in, int startPos);

    ParamBlock params;
    std::vector<uint8_t> frozenLoop;
};
