#include "framework/graphics/IGraphicsRecords.h"
#include "framework/graphics/IGraphicsConstants.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace iplug::igraphics;

TEST(BoxRecord, ContainsIsInclusiveOnLeftAndTopOnly)
{
    struct Case
    {
        IBox box;
        float x, y;
        bool inside;
    };
    const Case cases[] = {
        {IBox(0, 0, 0, 0), 0, 0, false}, // the empty box contains nothing
        {IBox(0, 0, 1, 1), 0, 0, true},       {IBox(0, 0, 1, 1), 1, 1, false}, {IBox(0, 0, 1, 1), 0.5f, 1, false},
        {IBox(2, 2, 2, 5), 2, 3, false}, // zero width: not empty, still holds no point
        {IBox(-5, -5, 5, 5), -5, 4.9f, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.box.Contains(c.x, c.y), c.inside) << c.x << "," << c.y;
}

TEST(BoxRecord, IntersectsTouchesOnTheFirstBoxsFarEdgesOnly)
{
    const IBox empty;
    EXPECT_FALSE(empty.Intersects(empty));
    EXPECT_FALSE(empty.Intersects(IBox(-1, -1, 1, 1)));
    EXPECT_FALSE(IBox(-1, -1, 1, 1).Intersects(empty));

    const IBox a(0, 0, 10, 10);
    const IBox rightNeighbour(10, 0, 20, 10);
    EXPECT_TRUE(a.Intersects(rightNeighbour));  // a.right == b.left
    EXPECT_FALSE(rightNeighbour.Intersects(a)); // b.right == a.left
    EXPECT_TRUE(a.Intersects(IBox(5, 5, 6, 6)));
    EXPECT_EQ(a.Intersection(IBox(5, -5, 15, 5)), IBox(5, 0, 10, 5));
    EXPECT_TRUE(a.Intersection(IBox(20, 20, 30, 30)).IsEmpty());
}

TEST(BoxRecord, PixelAlignmentFloorsTheNearEdgesAndCeilsTheFarOnes)
{
    const IBox aligned = IBox(9.25f, 9.25f, 20.75f, 20.75f).PixelAligned(1.5f);
    EXPECT_NEAR(aligned.left, 8.6667f, 1e-3);
    EXPECT_NEAR(aligned.top, 8.6667f, 1e-3);
    EXPECT_NEAR(aligned.right, 21.3333f, 1e-3);
    EXPECT_NEAR(aligned.bottom, 21.3333f, 1e-3);
}

TEST(ColourRecords, RoleColoursFillMissingRolesWithTheirDefaults)
{
    const IRoleColours none;
    for (int role = 0; role < kNumColourRoles; ++role)
        EXPECT_EQ(none.roles[role], IRoleColours::DefaultFor(role));

    const IRoleColours three({kRed, kGreen, kBlue});
    EXPECT_EQ(three.roles[0], kRed);
    EXPECT_EQ(three.roles[1], kGreen);
    EXPECT_EQ(three.roles[2], kBlue);
    for (int role = 3; role < kNumColourRoles; ++role)
        EXPECT_EQ(three.roles[role], IRoleColours::DefaultFor(role));

    EXPECT_EQ(kDefaultWidgetStyle.colours.roles[1], kMidGrey);
    EXPECT_EQ(kDefaultWidgetStyle.titleStyle.size, 19.0f);
    EXPECT_EQ(kDefaultWidgetStyle.titleStyle.vAlign, kAlignTop);
    EXPECT_EQ(kDefaultWidgetStyle.valueStyle.vAlign, kAlignBottom);
}

TEST(ColourRecords, PaintFromAColourHasOneStopAndNoTransform)
{
    const IPaint paint(IArgb(128, 1, 2, 3));
    EXPECT_EQ(paint.kind, kPaintSolid);
    EXPECT_EQ(paint.extend, 1);
    EXPECT_EQ(paint.stopCount, 1);
    EXPECT_EQ(paint.stops[0].colour, IArgb(128, 1, 2, 3));
    EXPECT_EQ(paint.stops[0].offset, 0.0f);
    EXPECT_EQ(paint.stops[15].colour, kBlack);
    EXPECT_TRUE(paint.transform.IsIdentity());
}

TEST(CursorKinds, ValuesOutsideTheTableShowTheArrow)
{
    EXPECT_EQ(SystemCursorId(-1), 32512);
    EXPECT_EQ(SystemCursorId(14), 32512);
    EXPECT_EQ(SystemCursorId(kCursorSizeNWSE), 32642);
    EXPECT_EQ(SystemCursorId(kCursorHelp), 32651);
}

TEST(TransformRecord, ProductAppliesTheRightFactorFirst)
{
    const ITransform2D t = ITransform2D::Translation(10, 20) * ITransform2D::Scaling(2, 3);
    double x = 1, y = 1;
    t.Apply(x, y);
    EXPECT_DOUBLE_EQ(x, 12.0);
    EXPECT_DOUBLE_EQ(y, 23.0);

    const ITransform2D r = ITransform2D::Rotation(90.0);
    x = 1;
    y = 0;
    r.Apply(x, y); // clockwise on screen: +x turns to +y
    EXPECT_NEAR(x, 0.0, 1e-6);
    EXPECT_NEAR(y, 1.0, 1e-6);

    const ITransform2D m = ITransform2D::Translation(5, -7) * ITransform2D::Rotation(30) * ITransform2D::Scaling(2, 4);
    x = 3;
    y = -2;
    m.Apply(x, y);
    m.Inverted().Apply(x, y);
    EXPECT_NEAR(x, 3.0, 1e-9);
    EXPECT_NEAR(y, -2.0, 1e-9);
    EXPECT_TRUE(ITransform2D::Scaling(0, 1).Inverted().IsIdentity());
}

} // namespace
