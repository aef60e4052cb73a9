#pragma once

#include "plugin/vst3/Point.h"

namespace MarlquinVST3 {

// The parameter changes of one sub-block: at most kMaxPoints single-point queues, each holding
// the value its parameter takes at the sub-block's first frame.
class Changes : public Steinberg::Vst::IParameterChanges
{
public:
    static constexpr int kMaxPoints = 57;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    Steinberg::int32 PLUGIN_API getParameterCount() override { return count; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

    void Reset();
    // False (nothing added) once the record is full.
    bool Add(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);

    Point points[kMaxPoints];
    Steinberg::int32 count = 0;
};

} // namespace MarlquinVST3
