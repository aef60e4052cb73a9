#include "framework/core/ModuleResources.h"
#include "framework/graphics/ProcessCache.h"
#include "framework/graphics/svg/SvgDocument.h"
#include "tests/framework/graphics/RecordingGraphics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using namespace graphicstest;
namespace fs = std::filesystem;

class Resources : public ::testing::Test
{
protected:
    Resources()
    {
        folder = fs::temp_directory_path()
                 / ("marlquin-res-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    ~Resources() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string File(const std::string& name, const std::string& content = "image bytes")
    {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.generic_string();
    }
    std::string Name(const std::string& name) const { return (folder / name).generic_string(); }

    fs::path folder;
    FakeDelegate delegate;
};

TEST(ScaleSearch, TargetFirstThenThreeThenDownward)
{
    using Order = std::vector<int>;
    EXPECT_EQ(IGraphics::ScaleSearchOrder(1), (Order{1, 3, 2}));
    EXPECT_EQ(IGraphics::ScaleSearchOrder(2), (Order{2, 3, 1}));
    EXPECT_EQ(IGraphics::ScaleSearchOrder(3), (Order{3, 2, 1}));
    EXPECT_EQ(IGraphics::ScaleSearchOrder(4), (Order{4, 3, 2, 1}));
    EXPECT_EQ(IGraphics::ScaleSearchOrder(5), (Order{5, 3, 2, 1}));
    EXPECT_TRUE(IGraphics::ScaleSearchOrder(0).empty());
}

TEST(CacheKeys, EqualHashesAreToldApartByName)
{
    ProcessCache cache([](void* p) { delete static_cast<int*>(p); });
    EXPECT_EQ(CacheKeyHash("knob_sky.png-2.0x"), CacheKeyHash("knob_sky.png", 2.0));
    EXPECT_EQ(CacheKeyHash(""), 0xcbf29ce484222325ull);
    auto* one = new int(1);
    auto* two = new int(2);
    auto* other = new int(3);
    cache.Add(one, "a.png", 1.0);
    cache.Add(two, "a.png", 2.0);
    cache.Add(other, "b.png", 1.0);
    EXPECT_EQ(cache.Find("a.png", 1.0), one);
    EXPECT_EQ(cache.Find("a.png", 2.0), two);
    EXPECT_EQ(cache.Find("b.png", 1.0), other);
    EXPECT_EQ(cache.Find("a.png", 3.0), nullptr);
    EXPECT_TRUE(cache.Remove(two));
    EXPECT_FALSE(cache.Remove(two));
    EXPECT_EQ(cache.Count(), 2);
}

TEST_F(Resources, LookupPrefersTheTargetScaleThenFallsBackInOrder)
{
    File("bg_back@2x.png");
    RecordingGraphics g(delegate);
    TextBuffer path;
    int found = 0;
    EXPECT_EQ(g.FindScaledResource(Name("bg_back.png").c_str(), "png", path, 1, found), iplug::kFoundFile);
    EXPECT_EQ(found, 2);
    EXPECT_EQ(std::string(path.Get()), Name("bg_back@2x.png"));
    File("bg_back@3x.png");
    EXPECT_EQ(g.FindScaledResource(Name("bg_back.png").c_str(), "png", path, 1, found), iplug::kFoundFile);
    EXPECT_EQ(found, 3);
    EXPECT_EQ(g.FindScaledResource(Name("bg_back.png").c_str(), "png", path, 0, found), 0);
    EXPECT_EQ(g.FindScaledResource(Name("missing.png").c_str(), "png", path, 2, found), 0);
}

#ifdef _WIN32
TEST_F(Resources, ModuleResourceAtScaleTwoServesScaleOne)
{
    // The test program embeds only "bg_back@2x.png"; the plain and @3x names are tried first.
    RecordingGraphics g(delegate);
    TextBuffer path;
    int found = 0;
    EXPECT_EQ(g.FindScaledResource("bg_back.png", "png", path, 1, found), iplug::kFoundResource);
    EXPECT_EQ(found, 2);
    const IBitmapRef ref = g.LoadBitmapByName("bg_back.png", 1, false, 0);
    ASSERT_NE(ref.bitmap, nullptr);
    EXPECT_EQ(ref.width, 460);
    EXPECT_EQ(ref.height, 640);
}
#endif

TEST_F(Resources, BitmapFoundAtAnotherScaleIsRescaledToTheTarget)
{
    File("bg_back@2x.png");
    const int liveBefore = FakeBitmap::Live();
    {
        RecordingGraphics g(delegate);
        const IBitmapRef ref = g.LoadBitmapByName(Name("bg_back.png").c_str(), 1, false, 0);
        ASSERT_NE(ref.bitmap, nullptr);
        EXPECT_EQ(ref.width, 460);
        EXPECT_EQ(ref.height, 640);
        EXPECT_EQ(ref.bitmap->GetScale(), 1.0f);
        EXPECT_EQ(g.decodes, 1);
        // The decoded scale-2 image went once the copy was made; the copy is cached.
        EXPECT_EQ(FakeBitmap::Live(), liveBefore + 1);
        const IBitmapRef again = g.LoadBitmapByName(Name("bg_back.png").c_str(), 1, false, 1);
        EXPECT_EQ(again.bitmap, ref.bitmap);
        EXPECT_EQ(g.decodes, 1);

        EXPECT_EQ(g.LoadBitmapByName(Name("bg_back.gif").c_str()).bitmap, nullptr);
        EXPECT_EQ(g.LoadBitmapByName(Name("none.png").c_str()).bitmap, nullptr);
    }
    EXPECT_EQ(FakeBitmap::Live(), liveBefore);
}

TEST_F(Resources, CachesLiveWhileAnyDrawingContextDoes)
{
    File("knob.png");
    const int liveBefore = FakeBitmap::Live();
    auto* first = new RecordingGraphics(delegate);
    {
        RecordingGraphics second(delegate);
        EXPECT_EQ(BitmapCache().UseCount(), 2u);
        EXPECT_EQ(SvgCache().UseCount(), 2u);
        second.LoadBitmapByName(Name("knob.png").c_str(), 61, false, 1);
        EXPECT_EQ(second.decodes, 1);
    }
    EXPECT_EQ(BitmapCache().UseCount(), 1u);
    first->LoadBitmapByName(Name("knob.png").c_str(), 61, false, 1);
    EXPECT_EQ(first->decodes, 0); // shared with the editor that has gone
    delete first;
    EXPECT_EQ(BitmapCache().UseCount(), 0u);
    EXPECT_EQ(BitmapCache().Count(), 0);
    EXPECT_EQ(FakeBitmap::Live(), liveBefore);

    RecordingGraphics next(delegate);
    next.LoadBitmapByName(Name("knob.png").c_str(), 61, false, 1);
    EXPECT_EQ(next.decodes, 1);
}

TEST_F(Resources, BitmapsFromMemoryStayWithTheBackend)
{
    const int liveBefore = FakeBitmap::Live();
    {
        RecordingGraphics g(delegate);
        const char bytes[] = "png bytes";
        const IBitmapRef ref = g.LoadBitmapFromMemory("mem.png", bytes, int(sizeof(bytes)), 1, false, 1);
        ASSERT_NE(ref.bitmap, nullptr);
        EXPECT_FALSE(BitmapCache().Holds(ref.bitmap));
        delete ref.bitmap; // the backend's own cache would
    }
    EXPECT_EQ(FakeBitmap::Live(), liveBefore);
}

TEST_F(Resources, SvgDocumentsAreCachedByName)
{
    // The parser comes with its own tests; here only its cache is looked at.
    const char text[] = "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'>"
                        "<rect width='5' height='5'/></svg>";
    RecordingGraphics g(delegate);
    const ISvgRef doc = g.LoadSvgFromMemory("icon.svg", text, int(std::strlen(text)));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->width, 20.0f);
    EXPECT_EQ(g.LoadSvgByName("icon.svg"), doc); // answered from the cache, nothing read
    EXPECT_EQ(g.LoadSvgFromMemory("bad.svg", "<svg", 4), nullptr);
    EXPECT_EQ(g.LoadSvgByName(Name("absent.svg").c_str()), nullptr);
    const std::string file = File("file.svg", text);
    EXPECT_NE(g.LoadSvgByName(file.c_str()), nullptr);
}

TEST_F(Resources, FontsAreKeptOnlyWhenTheBackendTakesThem)
{
    RecordingGraphics g(delegate);
    const char bytes[] = "ttf";
    EXPECT_TRUE(g.LoadFontFromMemory("Roboto-Regular", bytes, 3));
    EXPECT_FALSE(g.LoadFontFromFile("Missing", ""));
    g.acceptFonts = false;
    EXPECT_FALSE(g.LoadFontFromFile("Jost-Medium", "jost.ttf"));
    EXPECT_EQ(g.Calls("retain"), (std::vector<std::string>{"retain Roboto-Regular"}));
    EXPECT_EQ(g.liveFonts, 0);
}

} // namespace
