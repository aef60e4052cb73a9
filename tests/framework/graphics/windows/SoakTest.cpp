#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

namespace iplug::igraphics {
namespace {

using namespace test;

int CountThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

struct Census
{
    ObjectCounts objects;
    int threads = 0;
    int windows = 0;
    int memoryFonts = 0, fontHandles = 0, fontBlobs = 0;

    static Census Take()
    {
        Census c;
        c.objects = CountObjects();
        c.threads = CountThreads();
        c.windows = IGraphicsWin::OpenWindowCount();
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
    PumpMessages(100);
    const Census after = Census::Take();
    EXPECT_EQ(after.windows, 1);
    EXPECT_LE(after.threads, before.threads) << "vertical-blank threads end with their editors";
    EXPECT_LE(after.objects.user, before.objects.user) << "windows";
    EXPECT_LE(after.objects.gdi, before.objects.gdi) << "device contexts, fonts, regions";
    EXPECT_LE(after.objects.handles, before.objects.handles + 2) << "thread and event handles";
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
