#include "framework/core/ModuleResources.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

using iplug::TextBuffer;

namespace {

TEST(ModuleResources, UpperCaseWideTextChangesOnlyAsciiLetters)
{
    const iplug::WideTextBuffer upper = iplug::UpperCaseWideText("png-\xc3\xa9x1");
    EXPECT_EQ(std::u16string(upper.Get()), u"PNG-\u00e9X1");
    EXPECT_EQ(std::u16string(iplug::UpperCaseWideText(nullptr).Get()), u"");
}

TEST(ModuleResources, FindsAnExistingFileByPath)
{
    const std::string path = ::testing::TempDir() + "resource-lookup-fixture.png";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not an image", f);
    std::fclose(f);

    TextBuffer location("untouched");
    EXPECT_EQ(iplug::FindResourceOrFile(path.c_str(), "png", location, iplug::ModuleInstance()), iplug::kFoundFile);
    EXPECT_EQ(std::string(location.Get()), path);
    std::remove(path.c_str());
}

TEST(ModuleResources, MissingNamesLeaveTheOutputAlone)
{
    const std::string directory = ::testing::TempDir();
    const char* names[] = {"no-such-image.png", "", nullptr, directory.c_str()};
    for (const char* name : names) {
        TextBuffer location("untouched");
        EXPECT_EQ(iplug::FindResourceOrFile(name, "png", location, iplug::ModuleInstance()), iplug::kNotFound);
        EXPECT_STREQ(location.Get(), "untouched");
    }
}

#ifdef _WIN32

class EmbeddedResources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(iplug::ModuleInitHook());
        module = iplug::ModuleInstance();
        ASSERT_EQ(module, static_cast<void*>(GetModuleHandleW(nullptr)));
    }
    void* module = nullptr;
};

TEST_F(EmbeddedResources, FoundByFileNameWhateverTheLetterCase)
{
    for (const char* name : {"knob.png", "KNOB.png", "Knob.PNG"}) {
        TextBuffer location("untouched");
        EXPECT_EQ(iplug::FindResourceOrFile(name, "png", location, module), iplug::kFoundResource) << name;
        EXPECT_STREQ(location.Get(), "\"KNOB.PNG\"") << name;
    }
    TextBuffer font;
    EXPECT_EQ(iplug::FindResourceOrFile("Roboto-Regular.ttf", "ttf", font, module), iplug::kFoundResource);
    EXPECT_STREQ(font.Get(), "\"ROBOTO-REGULAR.TTF\"");
}

TEST_F(EmbeddedResources, WrongTypeOrNumberedResourcesDoNotMatch)
{
    TextBuffer location("untouched");
    EXPECT_EQ(iplug::FindResourceOrFile("knob.png", "ttf", location, module), iplug::kNotFound);
    // The fixture also holds resource number 7; the name search skips numbered entries.
    EXPECT_EQ(iplug::FindResourceOrFile("7", "png", location, module), iplug::kNotFound);
    EXPECT_EQ(iplug::FindResourceOrFile("knob", "png", location, module), iplug::kNotFound);
    EXPECT_STREQ(location.Get(), "untouched");
}

TEST_F(EmbeddedResources, LoadsTheBytesOfAFoundResource)
{
    TextBuffer location;
    ASSERT_EQ(iplug::FindResourceOrFile("knob.png", "png", location, module), iplug::kFoundResource);
    int size = -1;
    const void* bytes = iplug::LoadModuleResource(location.Get(), "png", size, module);
    ASSERT_NE(bytes, nullptr);
    const char expected[] = "\x89PNG\r\n\x1a\nknob strip fixture bytes\n";
    ASSERT_EQ(size, int(sizeof(expected) - 1));
    EXPECT_EQ(std::memcmp(bytes, expected, size_t(size)), 0);
}

TEST_F(EmbeddedResources, ResourcesShorterThanEightBytesAreNotReturned)
{
    TextBuffer location;
    ASSERT_EQ(iplug::FindResourceOrFile("tiny.png", "png", location, module), iplug::kFoundResource);
    int size = -1;
    EXPECT_EQ(iplug::LoadModuleResource(location.Get(), "png", size, module), nullptr);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(iplug::LoadModuleResource("\"MISSING.PNG\"", "png", size, module), nullptr);
    EXPECT_EQ(iplug::LoadModuleResource(nullptr, "png", size, module), nullptr);
}

#else

TEST(ModuleResources, NativeBuildsHaveNoEmbeddedResources)
{
    int size = -1;
    EXPECT_EQ(iplug::LoadModuleResource("\"KNOB.PNG\"", "png", size, nullptr), nullptr);
    EXPECT_EQ(size, -1);
}

#endif

} // namespace
