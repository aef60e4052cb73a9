#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <gtest/gtest.h>

namespace iplug::igraphics {
namespace {

using namespace test;

class BitmapControl : public IControl
{
public:
    BitmapControl(const IBox& box, IBitmapRef bitmap) : IControl(box), bitmap(std::move(bitmap)) {}
    void Paint(IGraphics& g) override
    {
        g.SolidBox(IArgb(255, 255, 255, 255), GetBox());
        g.BlitBitmap(bitmap,
                     IBox(GetBox().left, GetBox().top, GetBox().left + bitmap.width, GetBox().top + bitmap.height), 0,
                     0, nullptr);
    }
    IBitmapRef bitmap;
};

class ResourcesTest : public ::testing::Test
{
protected:
    IGraphicsWin* Open(TestDelegate& d)
    {
        if (!d.OpenEditor(parent.Handle(), nullptr))
            return nullptr;
        WaitForFrames(*d.Win(), 1);
        return d.Win();
    }

    TestParentWindow parent;
};

TEST_F(ResourcesTest, EmbeddedImageLoadsByNameDrawsAndIsDecodedOncePerScale)
{
    TestDelegate delegate;
    delegate.SetLayout([](IGraphics* g) {
        const IBitmapRef swatch = g->LoadBitmapByName("swatch.png", 1, false, 1);
        g->AddControl(new BitmapControl(IBox(0, 0, 460, 640), swatch));
    });
    IGraphicsWin* g = Open(delegate);
    ASSERT_NE(g, nullptr);
    const IBitmapRef one = g->LoadBitmapByName("swatch.png", 1, false, 1);
    ASSERT_NE(one.bitmap, nullptr);
    EXPECT_EQ(one.width, 20);
    EXPECT_EQ(one.height, 10);
    EXPECT_EQ(ReadMainFramebuffer(*g, 5, 5), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(ReadMainFramebuffer(*g, 25, 5), (std::vector<uint8_t>{255, 255, 255, 255}));

    // Scale 3 finds the 2x image: every request at 3 reuses the one decoded at 2.
    const int before = g->CachedBitmapCount();
    const IBitmapRef three = g->LoadBitmapByName("swatch.png", 1, false, 3);
    const IBitmapRef again = g->LoadBitmapByName("swatch.png", 1, false, 3);
    const IBitmapRef two = g->LoadBitmapByName("swatch.png", 1, false, 2);
    ASSERT_NE(three.bitmap, nullptr);
    EXPECT_EQ(three.bitmap->GetScale(), 2.0f);
    EXPECT_EQ(three.width, 20);
    EXPECT_EQ(again.bitmap, three.bitmap);
    EXPECT_EQ(two.bitmap, three.bitmap);
    EXPECT_EQ(g->CachedBitmapCount(), before + 1);

    EXPECT_EQ(g->LoadBitmapByName("missing.png").bitmap, nullptr);
    EXPECT_EQ(g->LoadBitmapByName("swatch.gif").bitmap, nullptr);
    delegate.CloseEditor();
}

TEST_F(ResourcesTest, ImageExtensionsAreMatchedWithoutRegardToCase)
{
    TestDelegate delegate;
    IGraphicsWin g(delegate, 10, 10, 60, 1.0f);
    for (const char* yes : {"png", "PNG", "Jpeg", "jpg", "xpng"})
        EXPECT_TRUE(g.SupportsImageExtension(yes)) << yes;
    for (const char* no : {"gif", "", "pn"})
        EXPECT_FALSE(g.SupportsImageExtension(no)) << no;
    const std::string longName(100, 'x');
    EXPECT_FALSE(g.SupportsImageExtension(longName.c_str()));
    EXPECT_TRUE(g.SupportsImageExtension((std::string(20, 'x') + "png" + std::string(80, 'x')).c_str()));
}

// Editors open and close all session long: the process-wide font caches keep one entry
// per font id however often it is loaded.
TEST_F(ResourcesTest, EmbeddedFontLoadsByNameOnceForEveryEditor)
{
    TestDelegate keeper;
    bool keeperLoaded = false;
    keeper.SetLayout([&](IGraphics* g) { keeperLoaded = g->LoadFontFromFile("Roboto-Regular", "Roboto-Regular.ttf"); });
    ASSERT_NE(Open(keeper), nullptr);
    EXPECT_TRUE(keeperLoaded);
    const int memoryFonts = IGraphicsWin::MemoryFontCache().Count();
    const int handles = IGraphicsWin::FontHandleCache().Count();
    const int blobs = IGraphicsNanoVG::BackendFontCache().Count();
    EXPECT_EQ(memoryFonts, 1);
    EXPECT_EQ(handles, 1);
    EXPECT_EQ(blobs, 1);

    for (int i = 0; i < 10; ++i) {
        TestDelegate other;
        bool loaded = false, again = false;
        float width = 0.0f;
        IBox unknown(0, 0, 100, 20);
        other.SetLayout([&](IGraphics* g) {
            loaded = g->LoadFontFromFile("Roboto-Regular", "Roboto-Regular.ttf");
            again = g->LoadFontFromFile("Roboto-Regular", "Roboto-Regular.ttf");
            IBox box(0, 0, 200, 40);
            width = g->MeasureTextImpl(ITextStyle("Roboto-Regular", 20, IArgb(), 0, 0), "Marlquin", box);
            g->MeasureTextImpl(ITextStyle("Nowhere-Regular", 20, IArgb(), 0, 0), "Marlquin", unknown);
        });
        ASSERT_NE(Open(other), nullptr);
        EXPECT_TRUE(loaded);
        EXPECT_TRUE(again);
        EXPECT_GT(width, 40.0f);
        EXPECT_TRUE(unknown.IsEmpty()) << "an unknown font measures as the empty box";
        other.CloseEditor();
    }
    EXPECT_EQ(IGraphicsWin::MemoryFontCache().Count(), memoryFonts);
    EXPECT_EQ(IGraphicsWin::FontHandleCache().Count(), handles);
    EXPECT_EQ(IGraphicsNanoVG::BackendFontCache().Count(), blobs);
    keeper.CloseEditor();
}

TEST_F(ResourcesTest, TextIsDrawnWithTheLoadedFont)
{
    struct TextControl : IControl
    {
        using IControl::IControl;
        void Paint(IGraphics& g) override
        {
            g.SolidBox(IArgb(255, 255, 255, 255), GetBox());
            g.DrawTextImpl(ITextStyle("Roboto-Regular", 60, IArgb(255, 0, 0, 0), 0, 0), "||||", GetBox(), nullptr);
        }
    };
    TestDelegate delegate;
    delegate.SetLayout([](IGraphics* g) {
        g->LoadFontFromFile("Roboto-Regular", "Roboto-Regular.ttf");
        g->AddControl(new TextControl(IBox(0, 0, 460, 640)));
    });
    IGraphicsWin* g = Open(delegate);
    ASSERT_NE(g, nullptr);
    int dark = 0;
    for (int x = 0; x < 60; ++x)
        dark += ReadMainFramebuffer(*g, x, 30)[0] < 64 ? 1 : 0;
    EXPECT_GT(dark, 8) << "the bars of the text";
    EXPECT_EQ(ReadMainFramebuffer(*g, 300, 300)[0], 255);
    delegate.CloseEditor();
}

TEST_F(ResourcesTest, SystemFontsRefuseSubstitutes)
{
    TestDelegate delegate;
    IGraphicsWin g(delegate, 10, 10, 60, 1.0f);
    // Wine has no such family and would substitute one.
    EXPECT_EQ(g.LoadSystemFont("x", "Marlquin Nonexistent Sans", 0), nullptr);
    EXPECT_EQ(IGraphicsWin::CreateFontForFamily("Marlquin Nonexistent Sans", 400, false, false, 0, false), nullptr);
}

} // namespace
} // namespace iplug::igraphics
