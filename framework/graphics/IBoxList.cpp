#include "framework/graphics/IBoxList.h"

namespace iplug {
namespace igraphics {

IBox IBoxList::Bounds() const
{
    IBox bounds;
    for (int i = 0; i < Count(); ++i)
        bounds = bounds.Union((*this)[i]);
    return bounds;
}

} // namespace igraphics
} // namespace iplug
