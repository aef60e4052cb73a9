#pragma once

#include "framework/core/TextBuffer.h"

#include <cstdint>

namespace iplug::igraphics {

// Facts of one face of a TrueType/OpenType file or collection: where the face starts,
// its main tables, names and vertical metrics. The data is only borrowed. Every offset
// read from the file is checked against the data's size, so damaged or truncated data
// is refused (null face data) instead of read past its end.
class ITrueTypeInfo
{
public:
    ITrueTypeInfo() = default;
    ITrueTypeInfo(const void* data, int size, int faceIndex);

    // Null when the data is not an accepted font or the face does not exist.
    const uint8_t* faceData = nullptr;
    uint32_t headOffset = 0;
    uint32_t nameOffset = 0;
    uint32_t hheaOffset = 0;
    uint32_t fdscOffset = 0;
    TextBuffer family;
    TextBuffer style;
    uint16_t macStyle = 0;
    uint16_t unitsPerEm = 0;
    int16_t ascender = 0;
    int16_t descender = 0;
    int16_t lineGap = 0;

    // head, name and hhea were all found, so the names and metrics are read.
    bool HasMainTables() const { return faceData && headOffset && nameOffset && hheaOffset; }

private:
    bool FindFace(int faceIndex);
    bool FindTables();
    void ReadName(uint16_t nameId, TextBuffer& out) const;

    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

} // namespace iplug::igraphics
