#include "framework/vst3/IPlugVST3PresetParameter.h"

#include "framework/vst3/IPlugVST3ParamIds.h"

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug {

IPlugVST3PresetParameter::IPlugVST3PresetParameter(int nPresets)
    : Parameter(STR16("Preset"), kPresetParamId, STR16(""), 0.0, nPresets - 1, ParameterInfo::kIsProgramChange,
                kRootUnitId)
{}

IPlugVST3PresetParameter::~IPlugVST3PresetParameter() = default;

ParamValue IPlugVST3PresetParameter::toPlain(ParamValue normalised) const
{
    return std::round(info.stepCount * normalised);
}

ParamValue IPlugVST3PresetParameter::toNormalized(ParamValue plain) const
{
    // One preset has no steps: its only value is 0.
    return info.stepCount > 0 ? plain / info.stepCount : 0.0;
}

} // namespace iplug
