#include "tests/framework/graphics/ControlFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace graphicstest;
using Lines = std::vector<std::string>;

class ControlBase : public GraphicsFixture
{
protected:
    ProbeControl* Add(ProbeControl* c)
    {
        g.AddControl(c);
        return c;
    }
};

TEST_F(ControlBase, MarkDirtyClampsSlotsAndReportsOnlyWithTheAction)
{
    int actions = 0;
    auto* c = Add(new ProbeControl(IBox(0, 0, 10, 10), 2));
    c->SetAction([&](IControl*) { ++actions; });
    c->StoreValue(1.7, 0);
    EXPECT_EQ(c->ValueAt(0), 1.7);
    c->MarkDirty(false);
    EXPECT_EQ(c->ValueAt(0), 1.0);
    EXPECT_TRUE(delegate.edits.empty());
    EXPECT_EQ(actions, 0);

    c->StoreValue(std::numeric_limits<double>::quiet_NaN(), 0);
    c->MarkDirty(true, 3); // one slot: any index means slot 0
    EXPECT_EQ(c->ValueAt(0), 0.0);
    EXPECT_EQ(delegate.edits, (Lines{"perform 2 0"}));
    EXPECT_EQ(actions, 1);
}

TEST_F(ControlBase, SlotIndicesOutOfRangeChangeNothing)
{
    auto* c = Add(new ProbeControl(IBox(0, 0, 10, 10), 1));
    c->SetValueSlotCount(2);
    c->MarkClean();
    c->BindParam(2, 5);
    c->StoreValue(0.5, 7);
    c->SetValueFromHost(0.5, -2);
    c->SetValueFromUser(0.5, 9);
    c->MarkDirty(true, 4);
    c->SetValueFromPoint(5, 5, kDragVertical, IBox(0, 0, 10, 10), 3);
    EXPECT_EQ(c->BoundParamIndex(0), 1);
    EXPECT_EQ(c->BoundParamIndex(1), -1);
    EXPECT_EQ(c->ValueAt(7), 0.0);
    EXPECT_FALSE(c->IsDirty());
    EXPECT_TRUE(delegate.edits.empty());
}

TEST_F(ControlBase, UserValuesReachTheHostAndPeersOnlyWhenTheyChange)
{
    auto* a = Add(new ProbeControl(IBox(0, 0, 10, 10), 1));
    auto* peer = Add(new ProbeControl(IBox(20, 0, 30, 10), 1));
    auto* other = Add(new ProbeControl(IBox(40, 0, 50, 10), 2));
    a->SetValueFromUser(0.25, 0);
    EXPECT_EQ(delegate.edits, (Lines{"perform 1 0.25"}));
    EXPECT_EQ(peer->ValueAt(0), 0.25);
    EXPECT_EQ(other->ValueAt(0), 0.0);
    a->SetValueFromUser(0.25, 0);
    EXPECT_EQ(delegate.edits.size(), 1u);
}

TEST_F(ControlBase, HostValuesWaitWhileThePointerHoldsTheControl)
{
    auto* c = Add(new ProbeControl(IBox(0, 0, 10, 10), 1));
    g.OnPointerDown(At(5, 5));
    c->SetValueFromHost(0.9, 0);
    EXPECT_EQ(c->ValueAt(0), 0.0);
    g.OnPointerUp(At(5, 5));
    c->SetValueFromHost(0.9, 0);
    EXPECT_EQ(c->ValueAt(0), 0.9);
}

TEST_F(ControlBase, ResetToDefaultSendsTheDefaultOrJustRunsTheAction)
{
    delegate.GetParam(1)->SetupDouble("Mix", 2.5, 0.0, 10.0, 0.1);
    auto* bound = Add(new ProbeControl(IBox(0, 0, 10, 10), 1));
    bound->ResetToDefault(-1);
    EXPECT_EQ(bound->ValueAt(0), 0.25);
    EXPECT_EQ(delegate.edits, (Lines{"perform 1 0.25"}));

    int actions = 0;
    auto* unbound = Add(new ProbeControl(IBox(0, 0, 10, 10)));
    unbound->SetAction([&](IControl*) { ++actions; });
    unbound->MarkClean();
    unbound->ResetToDefault(-1);
    EXPECT_TRUE(unbound->IsDirty());
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(delegate.edits.size(), 1u);
}

TEST_F(ControlBase, GeometryMovesTheTargetWithTheBox)
{
    ProbeControl c(IBox(10, 10, 30, 20));
    c.SetTargetBox(IBox(12, 12, 28, 18));
    c.MoveTo(-5, 40);
    EXPECT_EQ(c.GetBox(), IBox(0, 40, 20, 50));
    EXPECT_EQ(c.GetTargetBox(), IBox(2, 42, 18, 48));
    c.ResizeTo(-3, 8);
    EXPECT_EQ(c.GetBox(), IBox(0, 40, 0, 48));
    EXPECT_EQ(c.GetTargetBox(), c.GetBox());

    ProbeControl d(IBox(0, 0, 10, 10));
    EXPECT_TRUE(d.ContainsPoint(0, 0));
    EXPECT_FALSE(d.ContainsPoint(10, 5));
    d.Disable(true);
    EXPECT_EQ(d.GetBlend().weight, 0.25f);
    d.Disable(false);
    EXPECT_EQ(d.GetBlend().weight, 1.0f);
}

TEST_F(ControlBase, ValueFromPointStepsInThousandthsAndIgnoresFlatBoxes)
{
    auto* c = Add(new ProbeControl(IBox(0, 0, 10, 100), 0));
    const IBox bounds(0, 0, 10, 100);
    c->SetValueFromPoint(5, 100, kDragVertical, bounds, 0);
    EXPECT_EQ(c->ValueAt(0), 0.0);
    c->SetValueFromPoint(5, -50, kDragVertical, bounds, 0);
    EXPECT_EQ(c->ValueAt(0), 1.0);
    c->SetValueFromPoint(3.33333f, 0, kDragHorizontal, bounds, 0);
    EXPECT_NEAR(c->ValueAt(0), 0.333, 1e-12);

    delegate.edits.clear();
    c->SetValueFromPoint(5, 5, kDragVertical, IBox(0, 10, 10, 10), 0);
    c->SetValueFromPoint(5, 5, kDragHorizontal, IBox(3, 0, 3, 10), 0);
    EXPECT_TRUE(delegate.edits.empty());
    EXPECT_NEAR(c->ValueAt(0), 0.333, 1e-12);
}

TEST_F(ControlBase, AnimationKeepsTheControlRedrawingUntilItEnds)
{
    ProbeControl c(IBox(0, 0, 1, 1));
    int steps = 0, ends = 0;
    c.MarkClean();
    c.SetAnimation([&](IControl*) { ++steps; });
    c.SetAnimationEnd([&](IControl*) { ++ends; });
    EXPECT_TRUE(c.NeedsRedraw());
    c.StepAnimation();
    c.OnAnimationEnd();
    c.StepAnimation();
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(c.IsDirty());
}

} // namespace
