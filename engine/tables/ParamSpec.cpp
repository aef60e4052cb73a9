#include "engine/tables/ParamSpec.h"

#include <algorithm>

namespace {

constexpr ParamSpec kParamSpecs[kParamCount] = {
    {"DRIVE", 0, 1, 0.15},
    {"MODE", 0, 2, 0},
    {"MACRO", 0, 1, 0.5},
    {"SHAPE", 0, 1, 0.3},
    {"CHAOS", 0, 1, 0.2},
    {"WEAR", 0, 1, 0.25},
    {"MIX", 0, 1, 0.5},
    {"Sync", 0, 1, 0},
    {"Sync Division", 0, 15, 4},
    {"Trem Stereo Phase", 0, 180, 0},
    {"Legacy Echo Feedback", 0, 0.9, 0.45},
    {"Legacy Echo Repeats", 1, 8, 4},
    {"Loop Buffer", 1, 16, 4},
    {"Dirt Trim Wow", 0, 1, 0.5},
    {"Dirt Trim Bandwidth", 0, 1, 0.5},
    {"Dirt Trim Noise", 0, 1, 0.5},
    {"Dirt Trim Crush", 0, 1, 0.5},
    {"Chaos Seed", 0, 99, 0},
    {"Input Gate", 0, 1, 0},
    {"Trem Depth", 0, 1, 1},
    {"Drive Voice", 0, 1, 0},
    {"Level", -12, 12, 0},
    {"Loop Octaves", 0, 1, 0.5},
    {"Loop Reverse", 0, 1, 0.5},
    {"Loop Reach", 0, 1, 0.5},
    {"Loop Width", 0, 1, 1},
    {"Loop Freeze", 0, 1, 0},
    {"Echo Preserve Stereo", 0, 1, 0},
    {"Save Frozen Audio", 0, 1, 1},
    {"Repeat Count", 1, 64, 4},
    {"Repeat Decay", 0, 1, 0.85},
    {"Repeat Feedback", 0, 0.95, 0},
    {"Repeat Hold", 0, 1, 0},
    {"Repeat Latch", 0, 1, 0},
    {"Repeat Engine", 0, 1, 1},
    {"Loop Mono Voices", 0, 1, 0},
    {"Loop LFO Motion", 0, 1, 0},
    {"Loop Voices", 1, 6, 6},
    {"Loop Motion Rate", 0, 1, 0.5},
    {"Repeat Gapless", 0, 1, 0},
    {"Loop Octave Dir", 0, 2, 0},
};

} // namespace

const ParamSpec& GetParamSpec(int index)
{
    return kParamSpecs[std::clamp(index, 0, kParamCount - 1)];
}

const ParamSpec* ParamSpecTable()
{
    return kParamSpecs;
}

double ClampToParamSpec(int index, double value)
{
    const ParamSpec& row = kParamSpecs[index];
    return std::clamp(value, row.minValue, row.maxValue);
}
