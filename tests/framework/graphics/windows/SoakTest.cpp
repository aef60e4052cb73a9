#include "framework/graphics/windows/IGraphicsWin.h"
#include "framework/graphics/windows/WglContext.h"
#include "framework/graphics/windows/WinFont.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <gtest/gtest.h>

namespace iplug::igraphics {
namespace {

using namespace test;

struct Census
{
    ObjectCounts objects;
    int editorWindows = 0, glContexts = 0, platformFonts = 0;
    int memoryFonts = 0, fontHandles = 0, fontBlobs = 0;

    static Census Take()
    {
        Census c;
        c.objects = CountObjects();
        c.editorWindows = IGraphicsWin::OpenWindowCount();
        c.glContexts = WglContext::LiveCount();
        c.platformFonts = WinFont::LiveCount();
        c.memoryFonts = IGraphicsWin::MemoryFontCache().Count();
        c.fontHandles = IGraphicsWin::FontHandleCache().Count();
        c.fontBlobs = IGraphicsNanoVG::BackendFontCache().Count();
        return c;
    }
};

// One editor stays open (its vertical-blank thread running) while a second one opens and
// closes again and again, as in a host where two instances show their editors.
TEST(SoakTest, ASecondEditorOpensAndClosesTenTimesBesideAnOpenOne)
{
    TestParentWindow parent(1000, 800);
    TestDelegate keeper;
    keeper.useVBlankClock = true;
    auto layout = [](IGraphics* g) {
        g->LoadFontFromFile("Roboto-Regular",
                            "Z:\\usr\\share\\fonts\\truetype\\roboto\\unhinted\\RobotoTTF\\Roboto-Regular.ttf");
        g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 10, 20, 30)));
    };
    keeper.SetLayout(layout);
    ASSERT_NE(keeper.OpenEditor(parent.Handle(), nullptr), nullptr);
    WaitForFrames(*keeper.Win(), 1);

    Census before;
    for (int cycle = 0; cycle <= 10; ++cycle) {
        if (cycle == 1)
            before = Census::Take();
        TestDelegate other;
        other.useVBlankClock = cycle % 2 == 0;
        other.SetLayout(layout);
        ASSERT_NE(other.OpenEditor(parent.Handle(), nullptr), nullptr) << cycle;
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 2);
        ASSERT_TRUE(WaitForFrames(*other.Win(), 1)) << cycle;
        other.CloseEditor();
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1) << cycle;
        EXPECT_EQ(wglGetCurrentContext(), nullptr) << cycle;
    }
    CountObjectsOnceBackTo(before.objects);
    const Census after = Census::Take();
    EXPECT_EQ(after.editorWindows, 1);
    EXPECT_LE(after.objects.threads, before.objects.threads) << "vertical-blank threads end with their editors";
    EXPECT_LE(after.objects.windows, before.objects.windows) << "editor, text entry and tooltip windows";
    EXPECT_EQ(after.glContexts, before.glContexts);
    EXPECT_EQ(after.platformFonts, before.platformFonts);
    EXPECT_EQ(after.memoryFonts, before.memoryFonts);
    EXPECT_EQ(after.fontHandles, before.fontHandles);
    EXPECT_EQ(after.fontBlobs, before.fontBlobs);

    // The editor that stayed open still draws.
    const int frames = keeper.Win()->PresentedFrames();
    keeper.Win()->MarkAllControlsDirty();
    EXPECT_TRUE(WaitForFrames(*keeper.Win(), frames + 1));
    keeper.CloseEditor();
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
}

} // namespace
} // namespace iplug::igraphics
