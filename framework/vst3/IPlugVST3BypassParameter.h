#pragma once

// The host's bypass switch: a two-entry list parameter ("off", "on").

#include "public.sdk/source/vst/vstparameters.h"

namespace iplug {

class IPlugVST3BypassParameter : public Steinberg::Vst::StringListParameter
{
public:
    IPlugVST3BypassParameter();
    ~IPlugVST3BypassParameter() override;

    OBJ_METHODS(IPlugVST3BypassParameter, StringListParameter)
};

} // namespace iplug
