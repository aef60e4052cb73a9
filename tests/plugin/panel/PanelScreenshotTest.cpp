#include "plugin/tools/PanelCapture.h"

#include <gtest/gtest.h>

#include <string>

// The panel as a host shows it, compared with the golden pictures scripts/screenshots.sh took
// with panel-golden.
// llvmpipe draws the same pixels every time; the tolerance only forgives rounding differences.
TEST(PanelScreenshot, BothSidesAtBothScalesMatchTheirGoldenImages)
{
    const struct
    {
        bool back;
        float scale;
        const char* golden;
    } cases[] = {
        {false, 1.0f, "panel_face_1x.png"},
        {true, 1.0f, "panel_back_1x.png"},
        {false, 2.0f, "panel_face_2x.png"},
        {true, 2.0f, "panel_back_2x.png"},
    };
    for (const auto& c : cases) {
        PanelCapture::Image golden;
        ASSERT_TRUE(PanelCapture::LoadPng(std::string(MARLQUIN_GOLDEN_DIR) + "/" + c.golden, golden)) << c.golden;
        PanelCapture::Image shot;
        std::string error;
        ASSERT_TRUE(PanelCapture::Capture(c.back, c.scale, shot, error)) << c.golden << ": " << error;
        EXPECT_EQ(shot.width, golden.width) << c.golden;
        EXPECT_EQ(shot.height, golden.height) << c.golden;
        EXPECT_LT(PanelCapture::DifferingShare(shot, golden, 8), 0.005) << c.golden;
    }
}
