#include "plugin/tools/XwdImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// An X window dump as xwd writes it: a big-endian header with the window's name, a colour table,
// then rows of pixels padded to the stride, each pixel's bytes in the dump's own byte order.
struct DumpSpec
{
    int width = 5;
    int height = 4;
    int bitsPerPixel = 32;
    bool mostSignificantFirst = false;
    int padding = 8;
    int colours = 3;
    uint32_t visualClass = 4;
};

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

// The pixel at (x, y): red from x, green from y, blue fixed, so a cut shows where it came from.
uint32_t PixelAt(int x, int y)
{
    return uint32_t(10 * x + 1) << 16 | uint32_t(20 * y + 2) << 8 | 0x7Fu;
}

std::vector<uint8_t> MakeDump(const DumpSpec& s)
{
    const char name[] = "xwdump";
    const int bytesPerPixel = s.bitsPerPixel / 8;
    const uint32_t stride = uint32_t(s.width * bytesPerPixel + s.padding);
    const uint32_t fields[25] = {uint32_t(100 + sizeof name),
                                 7,
                                 2,
                                 24,
                                 uint32_t(s.width),
                                 uint32_t(s.height),
                                 0,
                                 s.mostSignificantFirst ? 1u : 0u,
                                 32,
                                 0,
                                 32,
                                 uint32_t(s.bitsPerPixel),
                                 stride,
                                 s.visualClass,
                                 0xFF0000,
                                 0x00FF00,
                                 0x0000FF,
                                 8,
                                 256,
                                 uint32_t(s.colours),
                                 uint32_t(s.width),
                                 uint32_t(s.height),
                                 0,
                                 0,
                                 0};
    std::vector<uint8_t> out;
    for (uint32_t f : fields)
        Put32(out, f);
    out.insert(out.end(), name, name + sizeof name);
    out.insert(out.end(), size_t(s.colours) * 12, 0xEE);
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const uint32_t p = PixelAt(x, y);
            for (int b = 0; b < bytesPerPixel; ++b) {
                const int shift = 8 * (s.mostSignificantFirst ? bytesPerPixel - 1 - b : b);
                out.push_back(uint8_t(p >> shift));
            }
        }
        out.insert(out.end(), size_t(s.padding), 0xAB);
    }
    return out;
}

} // namespace

TEST(XwdImage, CutsTheAreaOutOfEveryTrueColourLayout)
{
    const struct
    {
        const char* name;
        int bitsPerPixel;
        bool mostSignificantFirst;
    } layouts[] = {
        {"32 bits, least significant byte first", 32, false},
        {"32 bits, most significant byte first", 32, true},
        {"24 bits, least significant byte first", 24, false},
    };
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.name);
        DumpSpec spec;
        spec.bitsPerPixel = l.bitsPerPixel;
        spec.mostSignificantFirst = l.mostSignificantFirst;
        PanelCapture::Image image;
        std::string error;
        ASSERT_TRUE(XwdImage::Crop(MakeDump(spec), {1, 2, 3, 2}, image, error)) << error;
        ASSERT_EQ(image.width, 3);
        ASSERT_EQ(image.height, 2);
        ASSERT_EQ(image.rgba.size(), 3u * 2u * 4u);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const uint8_t* p = &image.rgba[size_t(y * 3 + x) * 4];
                const uint32_t expected = PixelAt(1 + x, 2 + y);
                EXPECT_EQ(p[0], uint8_t(expected >> 16)) << x << "," << y;
                EXPECT_EQ(p[1], uint8_t(expected >> 8)) << x << "," << y;
                EXPECT_EQ(p[2], uint8_t(expected)) << x << "," << y;
                EXPECT_EQ(p[3], 255) << x << "," << y;
            }
    }
}

TEST(XwdImage, RefusesWhatItCannotCut)
{
    const DumpSpec plain;
    DumpSpec sixteen;
    sixteen.bitsPerPixel = 16;
    DumpSpec paletted;
    paletted.visualClass = 3;
    std::vector<uint8_t> truncated = MakeDump(plain);
    truncated.pop_back();
    const struct
    {
        const char* name;
        std::vector<uint8_t> file;
        XwdImage::Area area;
    } cases[] = {
        {"the whole picture fits", MakeDump(plain), {0, 0, 5, 4}},
        {"wider than the picture", MakeDump(plain), {1, 0, 5, 4}},
        {"below the picture", MakeDump(plain), {0, 3, 5, 2}},
        {"left of the picture", MakeDump(plain), {-1, 0, 2, 2}},
        {"empty", MakeDump(plain), {0, 0, 0, 2}},
        {"16 bits per pixel", MakeDump(sixteen), {0, 0, 2, 2}},
        {"a colour table", MakeDump(paletted), {0, 0, 2, 2}},
        {"one byte short", truncated, {0, 0, 2, 2}},
        {"no header", std::vector<uint8_t>(60, 0), {0, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        PanelCapture::Image image;
        std::string error;
        const bool fits = c.name == cases[0].name;
        EXPECT_EQ(XwdImage::Crop(c.file, c.area, image, error), fits) << c.name;
        EXPECT_EQ(error.empty(), fits) << c.name << ": " << error;
    }
}
