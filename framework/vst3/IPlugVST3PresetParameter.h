#pragma once

// The "Preset" parameter: a program-change parameter whose plain value is the preset index.

#include "public.sdk/source/vst/vstparameters.h"

namespace iplug {

class IPlugVST3PresetParameter : public Steinberg::Vst::Parameter
{
public:
    explicit IPlugVST3PresetParameter(int nPresets);
    ~IPlugVST3PresetParameter() override;

    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalised) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

    OBJ_METHODS(IPlugVST3PresetParameter, Parameter)
};

} // namespace iplug
