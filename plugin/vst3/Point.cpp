#include "plugin/vst3/Point.h"

using namespace Steinberg;

namespace MarlquinVST3 {

tresult PLUGIN_API Point::queryInterface(const TUID, void** obj)
{
    if (obj)
        *obj = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API Point::getPoint(int32 index, int32& sampleOffset, Vst::ParamValue& out)
{
    if (index != 0)
        return kInvalidArgument;
    sampleOffset = 0;
    out = value;
    return kResultOk;
}

tresult PLUGIN_API Point::addPoint(int32, Vst::ParamValue, int32&)
{
    return kNotImplemented;
}

} // namespace MarlquinVST3
