#include "plugin/tools/XwdImage.h"

#include <cstddef>

namespace {

// The header's fields, in file order; every one is a 32-bit big-endian number.
enum HeaderField
{
    kHeaderSize,
    kFileVersion,
    kPixmapFormat,
    kPixmapDepth,
    kPixmapWidth,
    kPixmapHeight,
    kXOffset,
    kByteOrder,
    kBitmapUnit,
    kBitmapBitOrder,
    kBitmapPad,
    kBitsPerPixel,
    kBytesPerLine,
    kVisualClass,
    kRedMask,
    kGreenMask,
    kBlueMask,
    kBitsPerRgb,
    kColormapEntries,
    kColourCount,
    kFieldCount = 25
};

constexpr uint32_t kVersion = 7;
constexpr uint32_t kZPixmap = 2;
constexpr uint32_t kTrueColour = 4;
constexpr uint32_t kDirectColour = 5;
constexpr size_t kColourEntryBytes = 12;

uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The pixel's channel under mask as an 8-bit value.
uint8_t Channel(uint32_t pixel, uint32_t mask)
{
    int shift = 0;
    while (!((mask >> shift) & 1u))
        ++shift;
    const uint32_t top = mask >> shift;
    const uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(value * 255u / top);
}

bool IsChannelMask(uint32_t mask)
{
    if (mask == 0)
        return false;
    while (!(mask & 1u))
        mask >>= 1;
    // One run of set bits, at most 8 wide.
    return (mask & (mask + 1)) == 0 && mask <= 0xFFu;
}

} // namespace

bool XwdImage::Crop(const std::vector<uint8_t>& file, const Area& area, PanelCapture::Image& out, std::string& error)
{
    if (file.size() < kFieldCount * 4) {
        error = "the dump is too short for its header";
        return false;
    }
    uint32_t h[kFieldCount];
    for (int i = 0; i < kFieldCount; ++i)
        h[i] = BigEndian32(&file[size_t(i) * 4]);
    const uint32_t bits = h[kBitsPerPixel];
    if (h[kFileVersion] != kVersion || h[kPixmapFormat] != kZPixmap
        || (h[kVisualClass] != kTrueColour && h[kVisualClass] != kDirectColour) || (bits != 24 && bits != 32)
        || !IsChannelMask(h[kRedMask]) || !IsChannelMask(h[kGreenMask]) || !IsChannelMask(h[kBlueMask])) {
        error = "the dump is not a true-colour picture of 24 or 32 bits per pixel";
        return false;
    }
    const uint64_t width = h[kPixmapWidth];
    const uint64_t height = h[kPixmapHeight];
    const uint64_t stride = h[kBytesPerLine];
    const uint64_t pixelsAt = uint64_t(h[kHeaderSize]) + uint64_t(h[kColourCount]) * kColourEntryBytes;
    if (stride < width * (bits / 8) || pixelsAt + stride * height > file.size()) {
        error = "the dump is shorter than its picture";
        return false;
    }
    if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 || uint64_t(area.x) + area.width > width
        || uint64_t(area.y) + area.height > height) {
        error = "the area does not lie inside the dump";
        return false;
    }
    const bool mostSignificantFirst = h[kByteOrder] != 0;
    const size_t bytesPerPixel = bits / 8;
    out.width = area.width;
    out.height = area.height;
    out.rgba.resize(size_t(area.width) * area.height * 4);
    uint8_t* to = out.rgba.data();
    for (int y = 0; y < area.height; ++y) {
        const uint8_t* row = &file[pixelsAt + (uint64_t(area.y) + y) * stride];
        for (int x = 0; x < area.width; ++x) {
            const uint8_t* p = row + (size_t(area.x) + x) * bytesPerPixel;
            uint32_t pixel = 0;
            for (size_t b = 0; b < bytesPerPixel; ++b)
                pixel |= uint32_t(p[b]) << (8 * (mostSignificantFirst ? bytesPerPixel - 1 - b : b));
            *to++ = Channel(pixel, h[kRedMask]);
            *to++ = Channel(pixel, h[kGreenMask]);
            *to++ = Channel(pixel, h[kBlueMask]);
            *to++ = 255;
        }
    }
    return true;
}
