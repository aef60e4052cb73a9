#pragma once

// SDK parameter bound to one framework IParam: texts and value conversions go through the IParam.

#include "framework/core/IParam.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace iplug {

class IPlugVST3Parameter : public Steinberg::Vst::Parameter
{
public:
    IPlugVST3Parameter(IParam* param, Steinberg::Vst::ParamID id, Steinberg::Vst::UnitID unit);
    ~IPlugVST3Parameter() override;

    void toString(Steinberg::Vst::ParamValue normalised, Steinberg::Vst::String128 text) const override;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalised) const override;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalised) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

    const IParam* Bound() const { return param; }

    OBJ_METHODS(IPlugVST3Parameter, Parameter)

private:
    IParam* param;
};

} // namespace iplug
