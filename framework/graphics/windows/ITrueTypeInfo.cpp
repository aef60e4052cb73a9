#include "framework/graphics/windows/ITrueTypeInfo.h"

#include <cstring>
#include <string>
#include <vector>

namespace iplug::igraphics {

namespace {

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8
           | p[3];
}

bool TagIs(const uint8_t* p, const char* tag)
{
    return std::memcmp(p, tag, 4) == 0;
}

// Table sizes that the reads below need, from the start of each table.
constexpr uint32_t kHeadNeeds = 54;
constexpr uint32_t kHheaNeeds = 10;
constexpr uint32_t kNameHeader = 6;
constexpr uint32_t kNameRecord = 12;

} // namespace

ITrueTypeInfo::ITrueTypeInfo(const void* fontData, int fontSize, int faceIndex)
    : data(static_cast<const uint8_t*>(fontData)), size(fontSize > 0 ? static_cast<uint32_t>(fontSize) : 0)
{
    if (!data || size < 12 || faceIndex < 0 || !FindFace(faceIndex) || !FindTables()) {
        faceData = nullptr;
        headOffset = nameOffset = hheaOffset = fdscOffset = 0;
        return;
    }
    if (!HasMainTables())
        return;
    macStyle = ReadU16(data + headOffset + 44);
    unitsPerEm = ReadU16(data + headOffset + 18);
    ReadName(1, family);
    ReadName(2, style);
    ascender = static_cast<int16_t>(ReadU16(data + hheaOffset + 4));
    descender = static_cast<int16_t>(ReadU16(data + hheaOffset + 6));
    lineGap = static_cast<int16_t>(ReadU16(data + hheaOffset + 8));
}

bool ITrueTypeInfo::FindFace(int faceIndex)
{
    static const uint8_t kTrueType1[4] = {0, 1, 0, 0};
    static const uint8_t kOldTrueType[4] = {'1', 0, 0, 0};
    if (std::memcmp(data, kTrueType1, 4) == 0 || std::memcmp(data, kOldTrueType, 4) == 0 || TagIs(data, "OTTO")
        || TagIs(data, "typ1")) {
        if (faceIndex != 0)
            return false;
        faceData = data;
        return true;
    }
    if (!TagIs(data, "ttcf"))
        return false;
    const uint32_t version = ReadU32(data + 4);
    if (version != 0x00010000 && version != 0x00020000)
        return false;
    const uint32_t count = ReadU32(data + 8);
    if (static_cast<uint32_t>(faceIndex) >= count)
        return false;
    const uint64_t entry = 12 + 4 * static_cast<uint64_t>(faceIndex);
    if (entry + 4 > size)
        return false;
    const uint32_t faceOffset = ReadU32(data + entry);
    if (static_cast<uint64_t>(faceOffset) + 12 > size)
        return false;
    faceData = data + faceOffset;
    return true;
}

bool ITrueTypeInfo::FindTables()
{
    const uint64_t faceStart = static_cast<uint64_t>(faceData - data);
    if (faceStart + 12 > size)
        return false;
    const uint16_t tableCount = ReadU16(faceData + 4);
    if (faceStart + 12 + 16 * static_cast<uint64_t>(tableCount) > size)
        return false;
    for (uint16_t i = 0; i < tableCount; ++i) {
        const uint8_t* record = faceData + 12 + 16 * i;
        const uint32_t offset = ReadU32(record + 8);
        const uint32_t length = ReadU32(record + 12);
        // Offsets count from the start of the file, also inside a collection.
        const bool inside = offset != 0 && static_cast<uint64_t>(offset) + length <= size;
        if (TagIs(record, "head"))
            headOffset = inside && length >= kHeadNeeds ? offset : 0;
        else if (TagIs(record, "name"))
            nameOffset = inside && length >= kNameHeader ? offset : 0;
        else if (TagIs(record, "hhea"))
            hheaOffset = inside && length >= kHheaNeeds ? offset : 0;
        else if (TagIs(record, "fdsc"))
            fdscOffset = inside ? offset : 0;
    }
    return true;
}

void ITrueTypeInfo::ReadName(uint16_t nameId, TextBuffer& out) const
{
    out.Set("");
    const uint8_t* table = data + nameOffset;
    const uint32_t count = ReadU16(table + 2);
    const uint64_t storage = static_cast<uint64_t>(nameOffset) + ReadU16(table + 4);
    if (static_cast<uint64_t>(nameOffset) + kNameHeader + kNameRecord * static_cast<uint64_t>(count) > size)
        return;

    auto findString = [&](uint16_t platform, uint16_t encoding, uint16_t language, uint32_t& length) -> const uint8_t* {
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* record = table + kNameHeader + kNameRecord * i;
            if (ReadU16(record) != platform || ReadU16(record + 2) != encoding || ReadU16(record + 4) != language
                || ReadU16(record + 6) != nameId)
                continue;
            length = ReadU16(record + 8);
            const uint64_t start = storage + ReadU16(record + 10);
            if (start + length > size)
                return nullptr;
            return data + start;
        }
        return nullptr;
    };

    uint32_t length = 0;
    if (const uint8_t* text = findString(3, 1, 0x409, length)) {
        std::vector<char16_t> units(length / 2 + 1, 0);
        for (uint32_t i = 0; i < length / 2; ++i)
            units[i] = static_cast<char16_t>(ReadU16(text + 2 * i));
        out.FromUtf16(units.data());
        if (out.GetLength() > 0)
            return;
    }
    if (const uint8_t* text = findString(1, 0, 0, length))
        out.Set(std::string(reinterpret_cast<const char*>(text), length).c_str());
}

} // namespace iplug::igraphics
