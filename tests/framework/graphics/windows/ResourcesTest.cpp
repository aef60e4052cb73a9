#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

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
        if (!d.OpenEditor(Parent(), nullptr))
            return nullptr;
        WaitForFrames(*d.Win(), 1);
        return d.Win();
    }

    // One parent for the run: a visible top-level window takes seconds to go under Wine.
    static HWND Parent()
    {
        static TestParentWindow parent;
        return parent.Handle();
    }
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

// Text in a box, as a wrapped block or as one line.
class TextBoxControl : public IControl
{
public:
    TextBoxControl(const IBox& box, const ITextStyle& style, const char* text, bool block)
        : IControl(box), style(style), text(text), block(block)
    {}
    void Paint(IGraphics& g) override
    {
        if (block)
            g.DrawTextBlock(style, text.c_str(), GetBox(), nullptr);
        else
            g.DrawTextImpl(style, text.c_str(), GetBox(), nullptr);
    }
    ITextStyle style;
    std::string text;
    bool block;
};

// A run of pixel rows holding ink, with the ink's left and right ends (panel pixels).
struct InkBand
{
    int top, bottom, left, right;
};

std::vector<InkBand> InkBands(IGraphicsWin& g, int x0, int y0, int w, int h)
{
    const std::vector<uint8_t> pixels = ReadMainFramebuffer(g, x0, y0, w, h);
    std::vector<InkBand> bands;
    bool inBand = false;
    for (int y = 0; y < h; ++y) {
        int left = w, right = -1;
        for (int x = 0; x < w; ++x) {
            if (pixels[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 4] < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (right < 0) {
            inBand = false;
            continue;
        }
        if (!inBand)
            bands.push_back({y0 + y, y0 + y, x0 + left, x0 + right});
        InkBand& band = bands.back();
        band.bottom = y0 + y;
        band.left = std::min(band.left, x0 + left);
        band.right = std::max(band.right, x0 + right);
        inBand = true;
    }
    return bands;
}

// Three words in a box one and a half words wide: one word a row. The row that the
// vertical alignment anchors (the first, the middle or the last) lies exactly where the
// same word drawn as one line in the same box lies; the rows are one line height apart
// and every row is aligned in the box as that line is.
TEST_F(ResourcesTest, TextBlockBreaksIntoAlignedRowsOneLineApart)
{
    TestDelegate delegate;
    const char* kFont = "Roboto-Regular";
    int boxWidth = 0;
    delegate.SetLayout([&](IGraphics* g) {
        ASSERT_TRUE(g->LoadFontFromFile(kFont, "Roboto-Regular.ttf"));
        g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 255, 255, 255)));
        IBox measured(0, 0, 400, 100);
        const float word = g->MeasureTextImpl(ITextStyle(kFont, 30, IArgb(), 0, 0), "||||", measured);
        boxWidth = int(std::ceil(word * 1.6f));
        for (int align = 0; align < 3; ++align) {
            const ITextStyle style(kFont, 30, IArgb(255, 0, 0, 0), align, align);
            const float top = 20.0f + 200.0f * align;
            g->AddControl(
                new TextBoxControl(IBox(20, top, 20.0f + boxWidth, top + 150), style, "|||| |||| ||||", true));
            g->AddControl(new TextBoxControl(IBox(240, top, 240.0f + boxWidth, top + 150), style, "||||", false));
        }
    });
    IGraphicsWin* g = Open(delegate);
    ASSERT_NE(g, nullptr);
    ASSERT_GT(boxWidth, 10);
    for (int align = 0; align < 3; ++align) {
        const int top = 20 + 200 * align;
        const std::vector<InkBand> rows = InkBands(*g, 10, top - 15, boxWidth + 20, 180);
        const std::vector<InkBand> line = InkBands(*g, 230, top - 15, boxWidth + 20, 180);
        ASSERT_EQ(rows.size(), 3u) << "align " << align;
        ASSERT_EQ(line.size(), 1u) << "align " << align;
        const int spacing = rows[1].top - rows[0].top;
        EXPECT_GT(spacing, rows[0].bottom - rows[0].top) << "rows do not overlap";
        EXPECT_NEAR(rows[2].top - rows[1].top, spacing, 1);
        for (const InkBand& row : rows) {
            EXPECT_NEAR(row.left - 20, line[0].left - 240, 1) << "align " << align;
            EXPECT_NEAR(row.right - 20, line[0].right - 240, 1) << "align " << align;
            EXPECT_NEAR(row.bottom - row.top, line[0].bottom - line[0].top, 1);
        }
        EXPECT_NEAR(rows[size_t(align)].top, line[0].top, 1) << "align " << align;
        EXPECT_NEAR(rows[size_t(align)].bottom, line[0].bottom, 1) << "align " << align;
    }
    delegate.CloseEditor();
}

} // namespace
} // namespace iplug::igraphics
