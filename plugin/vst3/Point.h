#pragma once

#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace MarlquinVST3 {

// A parameter queue of exactly one point at offset 0: how a sub-block receives the value a
// parameter takes at its first frame. Lives inside a Changes record on the stack, so it does no
// reference counting.
class Point : public Steinberg::Vst::IParamValueQueue
{
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return 1; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

    Steinberg::Vst::ParamID id = 0;
    // Normalised, as the host sent it.
    Steinberg::Vst::ParamValue value = 0.0;
};

} // namespace MarlquinVST3
