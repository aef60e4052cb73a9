#include "tests/framework/graphics/ControlFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace graphicstest;
using Lines = std::vector<std::string>;

class StockControls : public ::testing::Test
{
protected:
    StockControls() { delegate.GetParam(2)->SetupInt("Steps", 0, 0, 4); }

    Knob* AddKnob(int param, const IBox& box = IBox(0, 0, 50, 120), int axis = kDragVertical, double gearing = 1.5)
    {
        auto* k = new Knob(box, param, axis, gearing);
        g.AddControl(k);
        return k;
    }
    void Drag(float dx, float dy, IPointerMods mods = LeftButton())
    {
        IPointerEvent e;
        e.x = 10;
        e.y = 10;
        e.dx = dx;
        e.dy = dy;
        e.mods = mods;
        g.OnPointerDrag(IPointerEventList(e));
    }

    FakeDelegate delegate;
    RecordingGraphics g{delegate};
};

TEST_F(StockControls, AFullSweepTakes180UnitsAndTenTimesMoreWhenFine)
{
    Knob* knob = AddKnob(0);
    g.OnPointerDown(At(10, 10));
    for (int i = 0; i < 90; ++i)
        Drag(0, -1);
    EXPECT_NEAR(knob->ValueAt(0), 0.5, 1e-9);
    for (int i = 0; i < 120; ++i)
        Drag(0, -1);
    EXPECT_EQ(knob->ValueAt(0), 1.0);

    IPointerMods fine = LeftButton();
    fine.ctrl = true;
    Drag(0, 90, fine);
    EXPECT_NEAR(knob->ValueAt(0), 0.95, 1e-9);
    fine.ctrl = false;
    fine.shift = true;
    Drag(0, 90, fine);
    EXPECT_NEAR(knob->ValueAt(0), 0.9, 1e-9);
    g.OnPointerUp(At(10, 10));
    EXPECT_FALSE(knob->IsDragging());
}

TEST_F(StockControls, HorizontalKnobsFollowRightwardDrags)
{
    Knob* knob = AddKnob(0, IBox(0, 0, 120, 20), kDragHorizontal);
    g.OnPointerDown(At(10, 10));
    Drag(90, 0);
    EXPECT_NEAR(knob->ValueAt(0), 0.5, 1e-9);
}

TEST_F(StockControls, SteppedParametersSnapWhileTheDragValueAccumulates)
{
    Knob* knob = AddKnob(2);
    g.OnPointerDown(At(10, 10));
    Drag(0, -54); // 0.3
    EXPECT_EQ(knob->ValueAt(0), 0.25);
    EXPECT_NEAR(knob->GetDragValue(), 0.3, 1e-9);
    Drag(0, -18); // 0.4 still snaps to 0.5
    EXPECT_EQ(knob->ValueAt(0), 0.5);
}

TEST_F(StockControls, WheelMovesOneStepOrAHundredthPerNotch)
{
    Knob* stepped = AddKnob(2);
    g.OnWheel(10, 10, IPointerMods(), 3.0f);
    EXPECT_EQ(stepped->ValueAt(0), 0.25);
    g.OnWheel(10, 10, IPointerMods(), 0.0f);
    EXPECT_EQ(stepped->ValueAt(0), 0.25);
    g.OnWheel(10, 10, IPointerMods(), -1.0f);
    EXPECT_EQ(stepped->ValueAt(0), 0.0);

    g.RemoveAllControls();
    Knob* smooth = AddKnob(0);
    g.OnWheel(10, 10, IPointerMods(), 3.0f);
    EXPECT_NEAR(smooth->ValueAt(0), 0.03, 1e-12);
    IPointerMods shift;
    shift.shift = true;
    g.OnWheel(10, 10, shift, 3.0f);
    EXPECT_NEAR(smooth->ValueAt(0), 0.033, 1e-12);
    g.OnWheel(10, 10, IPointerMods(), -20.0f);
    EXPECT_EQ(smooth->ValueAt(0), 0.0);
}

TEST_F(StockControls, DragsWithoutDistanceSendNothingUnusable)
{
    struct FlatKnob : Knob
    {
        using Knob::Knob;
        IBox GetDragBox() const override { return IBox(0, 0, 50, 0); }
    };
    auto* flat = new FlatKnob(IBox(0, 0, 50, 20), 0);
    g.AddControl(flat);
    g.OnPointerDown(At(10, 10));
    Drag(0, -10);
    g.OnPointerUp(At(10, 10));
    Knob* stuck = AddKnob(1, IBox(0, 30, 50, 150), kDragVertical, 0.0);
    g.OnPointerDown(At(10, 40));
    Drag(0, -10);
    g.OnPointerUp(At(10, 40));
    EXPECT_EQ(flat->ValueAt(0), 0.0);
    EXPECT_EQ(stuck->ValueAt(0), 0.0);
    EXPECT_EQ(delegate.edits, (Lines{"begin 0", "end 0", "begin 1", "end 1"}));
}

TEST_F(StockControls, KnobHidesThePointerForTheDrag)
{
    AddKnob(0);
    g.OnPointerDown(At(10, 10));
    EXPECT_TRUE(g.IsPointerHidden());
    g.OnPointerUp(At(10, 10));
    EXPECT_FALSE(g.IsPointerHidden());
}

TEST_F(StockControls, BitmapControlShowsTheFrameOfItsValue)
{
    FakeBitmap strip(100, 6100, 1.0f, 1.0f, "strip");
    IBitmapRef ref;
    ref.bitmap = &strip;
    ref.width = 100;
    ref.height = 6100;
    ref.frameCount = 61;
    auto* control = new IBitmapControl(IBox(0, 0, 200, 200), ref, 0);
    g.AddControl(control);
    struct Case
    {
        double value;
        int frame;
        const char* blit;
    };
    const Case cases[] = {{0.0, 1, "blit 50,50,150,150 src 0,0"},
                          {0.5, 31, "blit 50,50,150,150 src 0,3000"},
                          {1.0, 61, "blit 50,50,150,150 src 0,6000"}};
    for (const Case& c : cases) {
        EXPECT_EQ(IBitmapBase::FrameForValue(c.value, 61), c.frame);
        control->StoreValue(c.value, 0);
        g.calls.clear();
        control->Paint(g);
        EXPECT_EQ(g.calls, (Lines{c.blit})) << c.value;
    }
    EXPECT_EQ(IBitmapBase::FrameForValue(0.7, 1), 1);
    EXPECT_EQ(IBitmapBase::FrameForValue(std::nan(""), 61), 1);
}

TEST_F(StockControls, BitmapControlWithAFailedBitmapPaintsNothing)
{
    auto* control = new IBitmapControl(IBox(0, 0, 20, 20), IBitmapRef(), 0);
    g.AddControl(control);
    control->Paint(g);
    EXPECT_TRUE(g.calls.empty());
}

} // namespace
