#include "plugin/resources/generator/PanelArt.h"

#include "plugin/panel/PanelLayout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float S = PanelArt::kScale;
constexpr double kPi = 3.14159265358979323846;

float Luma(const Rgba& c)
{
    return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b;
}

class PanelArtTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        art = new PanelArt;
        ASSERT_TRUE(art->LoadFonts(MARLQUIN_FONT_DIR));
        face = new Canvas(art->FaceBackground());
        back = new Canvas(art->BackBackground());
    }
    static void TearDownTestSuite()
    {
        delete face;
        delete back;
        delete art;
    }
    static Rgba At(const Canvas& c, float x, float y) { return c.PixelAt(int(x * S), int(y * S)); }

    static PanelArt* art;
    static Canvas* face;
    static Canvas* back;
};

PanelArt* PanelArtTest::art = nullptr;
Canvas* PanelArtTest::face = nullptr;
Canvas* PanelArtTest::back = nullptr;

} // namespace

TEST_F(PanelArtTest, KnobFramesPointFromMinusToPlus135Degrees)
{
    const Rgba colour = Rgba::FromBytes(240, 206, 116);
    const float centre = PanelArt::kKnobFramePixels / 2.0f;
    const float reach = PanelArt::kKnobFace * PanelArt::kKnobFramePixels * 0.55f;
    for (int frame : {0, 15, 30, 45, 60}) {
        const Canvas f = art->KnobFrame(colour, frame / 60.0);
        const double angle = PanelArt::FrameAngle(frame) * kPi / 180.0;
        const auto sample = [&](double a) {
            return f.PixelAt(int(centre + reach * std::sin(a)), int(centre - reach * std::cos(a)));
        };
        // The pointer is dark where it points and absent opposite.
        EXPECT_LT(Luma(sample(angle)), 0.35f) << "frame " << frame;
        EXPECT_GT(Luma(sample(angle + kPi)), 0.5f) << "frame " << frame;
        // Transparent corners and a clear margin, so neighbouring frames never bleed.
        const int last = PanelArt::kKnobFramePixels - 1;
        for (int i = 0; i <= last; i += 7)
            for (const auto& p :
                 {std::make_pair(i, 0), std::make_pair(i, last), std::make_pair(0, i), std::make_pair(last, i)})
                ASSERT_LT(f.PixelAt(p.first, p.second).a, 0.02f)
                    << "frame " << frame << " at " << p.first << "," << p.second;
    }
    EXPECT_DOUBLE_EQ(PanelArt::FrameAngle(0), -135.0);
    EXPECT_DOUBLE_EQ(PanelArt::FrameAngle(30), 0.0);
    EXPECT_DOUBLE_EQ(PanelArt::FrameAngle(60), 135.0);
}

TEST_F(PanelArtTest, WellsAndSlotsSitUnderTheirControls)
{
    const FaceLayout& f = kFaceLayout;
    const BackLayout& b = kBackLayout;
    const struct
    {
        const Canvas* canvas;
        PanelRect box;
        const char* what;
    } dark[] = {
        {face, f.readoutBox, "time readout well"}, {face, f.modeSwitchBox, "mode switch slot"},
        {face, f.voiceToggleBox, "voice slot"},    {face, f.syncToggleBox, "sync slot"},
        {back, b.seedWellBox, "seed well"},
    };
    for (const auto& d : dark)
        EXPECT_LT(Luma(At(*d.canvas, d.box.CentreX(), d.box.CentreY())), 0.35f) << d.what;
    for (const PaddlePlacement& p : b.paddles)
        EXPECT_LT(Luma(At(*back, p.trackX + p.paddleWidth / 2, (p.travelTop + p.travelBottom) / 2 + 10)), 0.35f)
            << "paddle slot at " << p.trackX;
}

TEST_F(PanelArtTest, AreasWithLiveTextStayBlank)
{
    const FaceLayout& f = kFaceLayout;
    const BackLayout& b = kBackLayout;
    // Plain card is light and has no ink; scan each area's pixels for the darkest one.
    const struct
    {
        const Canvas* canvas;
        PanelRect box;
        const char* what;
    } blank[] = {
        {face,
         {f.macroLabelCentreX - 30, f.macroLabelCentreY - 12, f.macroLabelCentreX + 30, f.macroLabelCentreY + 2},
         "MACRO caption"},
        {face,
         {f.repeatLabelCentreX - 24, f.repeatLabelCentreY - 6, f.repeatLabelCentreX + 24, f.repeatLabelCentreY + 6},
         "REPEAT caption"},
        {back, b.decayLabelBoxes[0], "DECAY caption"},
        {back, b.decayLabelBoxes[1], "FEEDBACK caption"},
        {back, b.countLabelBox, "repeat count"},
        {back, b.rateLabelBox, "RATE caption"},
    };
    for (const auto& area : blank) {
        float darkest = 1.0f;
        for (float y = area.box.top; y < area.box.bottom; y += 0.5f)
            for (float x = area.box.left; x < area.box.right; x += 0.5f)
                darkest = std::min(darkest, Luma(At(*area.canvas, x, y)));
        EXPECT_GT(darkest, 0.75f) << area.what;
    }
}
