#pragma once

#include "engine/tables/ParamSpec.h"

// One factory preset: "GROUP - NN Title" and a full set of parameter values.
struct FactoryPreset
{
    const char* name;
    double values[kParamCount];
};

constexpr int kFactoryPresetCount = 48;

int FactoryPresetCount();
// Row at index, clamped to the table (so out-of-range indices read the first or last preset).
const FactoryPreset& FactoryPresetAt(int index);
