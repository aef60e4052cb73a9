#pragma once

#include "framework/graphics/IGraphicsRecords.h"
#include "framework/graphics/RecordList.h"

namespace iplug {
namespace igraphics {

// Dirty regions passed between the window layer and the drawing context.
class IBoxList : public RecordList<IBox>
{
public:
    // The smallest box holding every box of the list (the empty box for an empty list).
    IBox Bounds() const;
};

} // namespace igraphics
} // namespace iplug
