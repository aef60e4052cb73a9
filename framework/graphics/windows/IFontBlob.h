#pragma once

#include "framework/core/GrowBuffer.h"
#include "framework/graphics/windows/ITrueTypeInfo.h"

namespace iplug::igraphics {

// Font bytes a platform font hands to the drawing backend: the whole file (or
// collection), the face to use in it and that face's facts (which point into the bytes).
struct IFontBlob
{
    ITrueTypeInfo info;
    GrowBuffer bytes{4096};
    // -1 when no face was found.
    int faceIndex = -1;

    // Accepted by the backend: bytes, a face, and the face's head, name and hhea tables.
    bool IsUsable() const { return bytes.Size() > 0 && faceIndex >= 0 && info.HasMainTables(); }
};

} // namespace iplug::igraphics
