#include "plugin/state/StateChunk.h"

#include "framework/core/IStateBuffer.h"

namespace {

constexpr int kTrailingFlagBytes = 4;

bool SwitchOn(double value)
{
    return value > 0.5;
}

} // namespace

bool StateChunk::Write(iplug::IStateBuffer& out) const
{
    return params.Write(out) && FrozenSection::Write(out, frozenLoop.data(), frozenLoop.size());
}

int StateChunk::Read(const iplug::IStateBuffer& in, int startPos)
{
    ParamBlock read;
    int pos = read.Read(in, startPos);
    if (pos < 0)
        return -1;

    std::vector<uint8_t> loop;
    const int remaining = in.Size() - pos;
    if (remaining > 0 && remaining != kTrailingFlagBytes)
        pos = FrozenSection::Read(in, pos, SwitchOn(read.values[kLoopFreeze]), loop);

    params = read;
    frozenLoop.swap(loop);
    return pos;
}
