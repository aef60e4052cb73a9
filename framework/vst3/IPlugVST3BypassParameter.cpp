#include "framework/vst3/IPlugVST3BypassParameter.h"

#include "framework/vst3/IPlugVST3ParamIds.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug {

IPlugVST3BypassParameter::IPlugVST3BypassParameter()
    : StringListParameter(STR16("Bypass"), kBypassParamId, nullptr,
                          ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsBypass, kRootUnitId)
{
    appendString(STR16("off"));
    appendString(STR16("on"));
}

IPlugVST3BypassParameter::~IPlugVST3BypassParameter() = default;

} // namespace iplug
