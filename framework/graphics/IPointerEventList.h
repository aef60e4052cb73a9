#pragma once

#include "framework/graphics/IGraphicsRecords.h"
#include "framework/graphics/RecordList.h"

namespace iplug {
namespace igraphics {

// One pointer event per touch point, or one for the mouse.
class IPointerEventList : public RecordList<IPointerEvent>
{
public:
    IPointerEventList() = default;
    explicit IPointerEventList(const IPointerEvent& single) { Append(single); }
};

} // namespace igraphics
} // namespace iplug
