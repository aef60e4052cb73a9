#include "framework/vst3/IPlugVST3Parameter.h"

#include "framework/core/TextBuffer.h"
#include "framework/vst3/Vst3Text.h"

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug {

IPlugVST3Parameter::IPlugVST3Parameter(IParam* param, ParamID id, UnitID unit) : param(param)
{
    Vst3Text::ToUtf16(param->GetName(), info.title, 128);
    Vst3Text::ToUtf16(param->UnitLabelToShow(), info.units, 128);
    info.shortTitle[0] = 0;
    info.id = id;
    info.unitId = unit;
    info.stepCount = param->Kind() == kKindDouble ? 0 : static_cast<int32>(std::trunc(param->GetRange()));
    info.defaultNormalizedValue = param->NormalizeValue(param->GetDefaultValue());
    valueNormalized = info.defaultNormalizedValue;
    info.flags = param->CanAutomate() ? ParameterInfo::kCanAutomate : 0;
    if (param->Kind() == kKindEnum)
        info.flags |= ParameterInfo::kIsList;
    precision = param->GetDisplayPrecision();
}

IPlugVST3Parameter::~IPlugVST3Parameter() = default;

void IPlugVST3Parameter::toString(ParamValue normalised, String128 text) const
{
    // Reached from the host's text queries; nothing may unwind into the SDK's caller.
    try {
        TextBuffer display;
        param->FormatValueText(normalised, true, display, true);
        Vst3Text::ToUtf16(display.Get(), text, 128);
    } catch (...) {
        text[0] = 0;
    }
}

bool IPlugVST3Parameter::fromString(const TChar* text, ParamValue& normalised) const
{
    try {
        TextBuffer narrow;
        Vst3Text::ToUtf8(text, narrow);
        normalised = param->NormalizeValue(param->ParseValueText(narrow.Get()));
        return true;
    } catch (...) {
        return false;
    }
}

ParamValue IPlugVST3Parameter::toPlain(ParamValue normalised) const
{
    return param->ClampToRange(param->GetShape().Denormalize(normalised, *param));
}

ParamValue IPlugVST3Parameter::toNormalized(ParamValue plain) const
{
    return param->NormalizeValue(plain);
}

} // namespace iplug
