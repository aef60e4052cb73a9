#include "framework/core/ModuleResources.h"
#include "tests/plugin/LoadedModule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

uint32_t BigEndianWord(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8
           | p[3];
}

} // namespace

// The module embeds every image at the scaled name the drawing context asks for, at the size the
// panel's layout expects, and the fonts under their file names.
TEST(PanelResources, ModuleEmbedsImagesAndFonts)
{
    LoadedModule module(MARLQUIN_MODULE_PATH);
    ASSERT_NE(module.handle, nullptr);
    const struct
    {
        const char* name;
        uint32_t width;
        uint32_t height;
    } images[] = {
        {"bg_face@2x.png", 920, 1280},      {"bg_back@2x.png", 920, 1280},     {"bg_wide_face@2x.png", 1880, 880},
        {"bg_wide_back@2x.png", 1880, 880}, {"knob_peach@2x.png", 196, 11956}, {"knob_sky@2x.png", 196, 11956},
        {"knob_butter@2x.png", 196, 11956}, {"knob_pink@2x.png", 196, 11956},  {"knob_tan@2x.png", 196, 11956},
        {"knob_sage@2x.png", 196, 11956},   {"switch_thumb@2x.png", 68, 56},   {"sync_thumb@2x.png", 40, 36},
        {"paddle@2x.png", 44, 40},          {"freeze_off@2x.png", 168, 56},    {"freeze_on@2x.png", 168, 56},
    };
    for (const auto& image : images) {
        iplug::TextBuffer location;
        EXPECT_EQ(iplug::FindResourceOrFile(image.name, "PNG", location, module.handle), iplug::kFoundResource)
            << image.name;
        int size = 0;
        const auto* bytes =
            static_cast<const uint8_t*>(iplug::LoadModuleResource(location.Get(), "PNG", size, module.handle));
        ASSERT_NE(bytes, nullptr) << image.name;
        ASSERT_GE(size, 24) << image.name;
        EXPECT_EQ(std::memcmp(bytes + 1, "PNG", 3), 0) << image.name;
        EXPECT_EQ(BigEndianWord(bytes + 16), image.width) << image.name;
        EXPECT_EQ(BigEndianWord(bytes + 20), image.height) << image.name;
    }
    for (const char* font : {"Roboto-Regular.ttf", "Jost-Regular.ttf", "Jost-Medium.ttf", "Jost-SemiBold.ttf"}) {
        iplug::TextBuffer location;
        EXPECT_EQ(iplug::FindResourceOrFile(font, "TTF", location, module.handle), iplug::kFoundResource) << font;
    }
}
