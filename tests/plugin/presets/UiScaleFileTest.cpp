#include "plugin/presets/UiScaleFile.h"

#include "tests/WaitUntil.h"
#include "tests/plugin/presets/ScratchFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <thread>

TEST(UiScaleFile, ReadClampsAndFallsBackToOne)
{
    const struct
    {
        const char* text;
        float expected;
    } cases[] = {
        {"1.250\n", 1.25f}, {"3.5", 2.0f},  {"0.5", 0.75f}, {"  1.5\n", 1.5f}, {"abc", 1.0f},  {"", 1.0f},
        {"nan\n", 1.0f},    {"-nan", 1.0f}, {"inf", 1.0f},  {"1e400", 1.0f},   {"+1.1", 1.1f}, {"1.75 and more", 1.75f},
        {"-3", 0.75f},
    };
    ScratchFolder folder;
    const std::string path = folder.Join("ui-scale.txt");
    for (const auto& c : cases) {
        ScratchFolder::WriteText(path, c.text);
        EXPECT_FLOAT_EQ(UiScaleFile::Read(path), c.expected) << '"' << c.text << '"';
    }
    EXPECT_FLOAT_EQ(UiScaleFile::Read(folder.Join("missing.txt")), 1.0f);
    EXPECT_FLOAT_EQ(UiScaleFile::Read(""), 1.0f);
}

TEST(UiScaleFile, WritesThreeDecimalsClampedAndCreatesFolders)
{
    ScratchFolder folder;
    // The maker and product folders do not exist yet on a fresh machine.
    const std::string path = folder.Join("Ostrevane/Marlquin/ui-scale.txt");
    const struct
    {
        float scale;
        const char* text;
    } cases[] = {{1.002f, "1.002\n"}, {2.4f, "2.000\n"}, {0.1f, "0.750\n"}, {1.25f, "1.250\n"}, {1.9996f, "2.000\n"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(UiScaleFile::Write(path, c.scale));
        const std::vector<uint8_t> bytes = ScratchFolder::ReadFile(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.text) << c.scale;
    }
    EXPECT_FALSE(UiScaleFile::Write("", 1.0f));
}

TEST(UiScaleFile, NumbersIgnoreTheProcessLocale)
{
    const char* decimalComma[] = {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "German"};
    const char* chosen = nullptr;
    for (const char* name : decimalComma)
        if (std::setlocale(LC_NUMERIC, name)) {
            chosen = name;
            break;
        }
    if (!chosen)
        GTEST_SKIP() << "no locale with a decimal comma here";

    ScratchFolder folder;
    const std::string path = folder.Join("ui-scale.txt");
    ASSERT_TRUE(UiScaleFile::Write(path, 1.5f));
    const std::vector<uint8_t> bytes = ScratchFolder::ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "1.500\n");
    EXPECT_FLOAT_EQ(UiScaleFile::Read(path), 1.5f);
    std::setlocale(LC_NUMERIC, "C");
}

// An editor opening while another instance saves the scale finds the old scale or the new one,
// never a file caught half written.
TEST(UiScaleFile, AReaderRacingAWriterSeesOnlyWholeValues)
{
    ScratchFolder folder;
    const std::string path = folder.Join("ui-scale.txt");
    ASSERT_TRUE(UiScaleFile::Write(path, 1.5f));
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i)
            if (UiScaleFile::Write(path, i % 2 ? 1.5f : 1.25f))
                ++written;
    });
    // The reader races until the writer has replaced the file often enough, however slowly a busy
    // machine lets it write.
    constexpr int kWritesToRaceWith = 100;
    int torn = 0;
    test_wait::WaitUntil([&] { return written.load() > kWritesToRaceWith; },
                         [&] {
                             const float scale = UiScaleFile::Read(path);
                             if (scale != 1.5f && scale != 1.25f)
                                 ++torn;
                         });
    stop = true;
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(written.load(), kWritesToRaceWith) << "the race needs writes to race with";
}
