#include "plugin/vst3/Changes.h"

using namespace Steinberg;

namespace MarlquinVST3 {

tresult PLUGIN_API Changes::queryInterface(const TUID, void** obj)
{
    if (obj)
        *obj = nullptr;
    return kNoInterface;
}

Vst::IParamValueQueue* PLUGIN_API Changes::getParameterData(int32 index)
{
    if (index < 0 || index >= count)
        return nullptr;
    return &points[index];
}

Vst::IParamValueQueue* PLUGIN_API Changes::addParameterData(const Vst::ParamID&, int32&)
{
    return nullptr;
}

void Changes::Reset()
{
    count = 0;
    for (Point& point : points) {
        point.id = 0;
        point.value = 0.0;
    }
}

bool Changes::Add(Vst::ParamID id, Vst::ParamValue value)
{
    if (count >= kMaxPoints)
        return false;
    points[count].id = id;
    points[count].value = value;
    ++count;
    return true;
}

} // namespace MarlquinVST3
