#include "plugin/presets/PresetFiles.h"

#include "engine/tables/ParamSpec.h"
#include "plugin/state/StateChunk.h"
#include "tests/plugin/presets/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

using Result = PresetFiles::ReadResult;

void PutWord(std::vector<uint8_t>& bytes, uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
}

// A parameter block header claiming count values, followed by valueBytes bytes.
std::vector<uint8_t> Chunk(uint32_t count, size_t valueBytes, uint32_t magic = ParamBlock::kMagic)
{
    std::vector<uint8_t> bytes;
    PutWord(bytes, magic);
    PutWord(bytes, count);
    bytes.resize(bytes.size() + valueBytes, 0);
    return bytes;
}

// A file of the given size without writing its content (sparse where the system allows).
void SizedFile(const std::string& path, uint64_t size, const std::vector<uint8_t>& head)
{
    ScratchFolder::WriteFile(path, head);
    fs::resize_file(fs::u8path(path), size);
}

const std::string kPolish = "Zażółć gęślą jaźń";
const std::string kCyrillic = "Тёплый звук";

} // namespace

TEST(PresetFilesNames, FileStemAndGroup)
{
    const struct
    {
        const char* path;
        const char* stem;
    } stems[] = {
        {"C:/Users/a/Presets/Warm.marlquin", "Warm"},
        {"C:\\Users\\a\\Warm.v2.marlquin", "Warm.v2"},
        {"Warm", "Warm"},
        {"/x/.marlquin", ".marlquin"},
        {"/x/..", ".."},
        {"/x/Тёплый.marlquin", "Тёплый"},
    };
    for (const auto& c : stems)
        EXPECT_EQ(PresetFiles::FileStem(c.path), c.stem) << c.path;

    const struct
    {
        const char* name;
        const char* group;
    } groups[] = {
        {"TREM - 01 Quarter Sine", "TREM"},
        {"FUZZ TREM - 08 Free Throb", "FUZZ TREM"},
        {"A - B - C", "A"},
        {"Warm", ""},
        {" - ", ""},
        {"ab", ""},
    };
    for (const auto& c : groups)
        EXPECT_EQ(PresetFiles::PresetGroupOf(c.name), c.group) << c.name;
}

TEST(PresetFilesNames, UniqueNameCountsUpPastExistingFiles)
{
    ScratchFolder folder;
    EXPECT_EQ(PresetFiles::UniquePresetName("Warm", folder.Path()), "Warm");
    ScratchFolder::WriteText(folder.Join("Warm.marlquin"), "x");
    EXPECT_EQ(PresetFiles::UniquePresetName("Warm", folder.Path()), "Warm (2)");
    // Any kind of entry blocks a name, not only files.
    fs::create_directory(fs::u8path(folder.Join("Warm (2).marlquin")));
    EXPECT_EQ(PresetFiles::UniquePresetName("Warm", folder.Path()), "Warm (3)");

    for (int n = 3; n <= 100; ++n)
        ScratchFolder::WriteText(folder.Join("Warm (" + std::to_string(n) + ").marlquin"), "x");
    EXPECT_EQ(PresetFiles::UniquePresetName("Warm", folder.Path()), "");
}

TEST(PresetFilesListing, OnlyPresetFilesSortedByteWise)
{
    ScratchFolder folder;
    for (const char* name : {"b.marlquin", "A.marlquin", "c.MARLQUIN", "d.marlquin.writing", "e.txt"})
        ScratchFolder::WriteText(folder.Join(name), "x");
    ScratchFolder::WriteText(folder.Join(kCyrillic + ".marlquin"), "x");
    ScratchFolder::WriteText(folder.Join(kPolish + ".marlquin"), "x");
    fs::create_directories(fs::u8path(folder.Join("sub.marlquin")));
    ScratchFolder::WriteText(folder.Join("sub.marlquin/inner.marlquin"), "x");

    // Byte order: capitals before small letters, UTF-8 sequences after ASCII.
    const std::vector<std::string> expected = {folder.Join("A.marlquin"), folder.Join(kPolish + ".marlquin"),
                                               folder.Join("b.marlquin"), folder.Join(kCyrillic + ".marlquin")};
    EXPECT_EQ(PresetFiles::ListUserPresets(folder.Path()), expected);
}

TEST(PresetFilesListing, MissingFolderGivesEmptyList)
{
    ScratchFolder folder;
    EXPECT_TRUE(PresetFiles::ListUserPresets(folder.Join("nothing here")).empty());
    EXPECT_TRUE(PresetFiles::ListUserPresets("").empty());
    ScratchFolder::WriteText(folder.Join("plain"), "x");
    EXPECT_TRUE(PresetFiles::ListUserPresets(folder.Join("plain")).empty());
}

#ifdef _WIN32
// NTFS takes names that are not valid UTF-16; such a name has no UTF-8 form and is left out.
TEST(PresetFilesListing, ANameWithAnUnpairedSurrogateIsLeftOut)
{
    std::string utf8 = "before";
    EXPECT_FALSE(PresetFiles::Utf8Name(fs::path(L"Bad\xD800Name.marlquin"), utf8));
    EXPECT_FALSE(PresetFiles::Utf8Name(fs::path(L"\xDC00.marlquin"), utf8));
    ASSERT_TRUE(PresetFiles::Utf8Name(fs::path(L"\u0141\U0001F3B5.marlquin"), utf8));
    EXPECT_EQ(utf8, "\xc5\x81\xf0\x9f\x8e\xb5.marlquin");

    // Wine's file system cannot hold such a name; Windows' can.
    ScratchFolder folder;
    ScratchFolder::WriteText(folder.Join("Warm.marlquin"), "x");
    const std::wstring lone = fs::u8path(folder.Path()).wstring() + L"\\Bad\xD800Name.marlquin";
    const HANDLE file =
        CreateFileW(lone.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "this file system takes no unpaired surrogates";
    CloseHandle(file);
    std::vector<std::string> listed;
    EXPECT_NO_THROW(listed = PresetFiles::ListUserPresets(folder.Path()));
    EXPECT_EQ(listed, std::vector<std::string>{folder.Join("Warm.marlquin")});
    DeleteFileW(lone.c_str());
}

// Text that is not UTF-8 names no file on Windows; no call throws for it.
TEST(PresetFilesNames, PathsThatAreNotUtf8AreRefusedQuietly)
{
    ScratchFolder folder;
    const std::string broken = folder.Join("\xff\xfe.marlquin");
    std::vector<uint8_t> bytes;
    EXPECT_EQ(PresetFiles::ReadPresetFile(broken, bytes), Result::kCannotOpen);
    EXPECT_FALSE(PresetFiles::WriteReplacing(broken, Chunk(41, 8 * 41)));
    EXPECT_FALSE(PresetFiles::PresetFileExists(folder.Path(), "\xc3"));
    EXPECT_NO_THROW(PresetFiles::CreateFolders(folder.Join("\xc3(")));
    EXPECT_TRUE(PresetFiles::ListUserPresets(folder.Join("\xc3(")).empty());
}
#endif

TEST(PresetFilesReading, AcceptsOnlyParameterBlocksThatFit)
{
    const uint32_t wrapsIn32Bits = 0x20000001; // 8 * count is 8 modulo 2^32
    const struct
    {
        const char* what;
        std::vector<uint8_t> bytes;
        Result expected;
    } cases[] = {
        {"empty", {}, Result::kNotPreset},
        {"7 bytes", std::vector<uint8_t>{0x32, 0x52, 0x54, 0x4B, 41, 0, 0}, Result::kNotPreset},
        {"count 34", Chunk(34, 8 * 34 + 12), Result::kNotPreset},
        {"count 35", Chunk(35, 8 * 35), Result::kOk},
        {"values cut short", Chunk(41, 8 * 41 - 1), Result::kNotPreset},
        {"count wraps in 32 bits", Chunk(wrapsIn32Bits, 8), Result::kNotPreset},
        {"largest count", Chunk(0xFFFFFFFFu, 8 * 41), Result::kNotPreset},
        {"legacy run without magic", std::vector<uint8_t>(216, 0), Result::kNotPreset},
        {"written chunk", Chunk(kParamCount, 8 * kParamCount + FrozenSection::kHeaderBytes), Result::kOk},
    };
    ScratchFolder folder;
    for (const auto& c : cases) {
        const std::string path = folder.Join("case.marlquin");
        ScratchFolder::WriteFile(path, c.bytes);
        std::vector<uint8_t> read = {1, 2, 3};
        EXPECT_EQ(PresetFiles::ReadPresetFile(path, read), c.expected) << c.what;
        if (c.expected == Result::kOk)
            EXPECT_EQ(read, c.bytes) << c.what;
        else
            EXPECT_EQ(read, (std::vector<uint8_t>{1, 2, 3})) << c.what << ": output untouched";
    }
    std::vector<uint8_t> read;
    EXPECT_EQ(PresetFiles::ReadPresetFile(folder.Join("missing.marlquin"), read), Result::kCannotOpen);
}

TEST(PresetFilesReading, SizeLimitTakesTheLargestFrozenLoop)
{
    const uint64_t limit = PresetFiles::SizeLimit();
    EXPECT_GE(limit, StateChunk::kEmptyBytes + FrozenLoopBlob::SizeAtRate(LoopsMode::kMaxSampleRate));
    EXPECT_GT(limit, PresetFiles::kLegacySizeLimit);

    ScratchFolder folder;
    const std::string path = folder.Join("big.marlquin");
    std::vector<uint8_t> read;
    SizedFile(path, limit, Chunk(kParamCount, 8 * kParamCount));
    EXPECT_EQ(PresetFiles::ReadPresetFile(path, read), Result::kOk);
    EXPECT_EQ(read.size(), limit);

    SizedFile(path, limit + 1, Chunk(kParamCount, 8 * kParamCount));
    read.clear();
    EXPECT_EQ(PresetFiles::ReadPresetFile(path, read), Result::kNotPreset);
    EXPECT_TRUE(read.empty());
}

TEST(PresetFilesWriting, ReplacesTargetAndLeavesNoTemporaryFile)
{
    ScratchFolder folder;
    for (const std::string& name : {std::string("Warm"), kPolish, kCyrillic}) {
        const std::string path = folder.Join(name + ".marlquin");
        ASSERT_TRUE(PresetFiles::WriteReplacing(path, {1, 2, 3})) << name;
        ASSERT_TRUE(PresetFiles::WriteReplacing(path, {4, 5})) << name;
        EXPECT_EQ(ScratchFolder::ReadFile(path), (std::vector<uint8_t>{4, 5})) << name;
        EXPECT_FALSE(ScratchFolder::Exists(path + ".writing")) << name;
    }
}

TEST(PresetFilesWriting, FailedMoveKeepsWhatWasThere)
{
    ScratchFolder folder;
    // A folder in the target's place cannot be replaced by a file.
    const std::string target = folder.Join("Warm.marlquin");
    fs::create_directories(fs::u8path(target));
    ScratchFolder::WriteText(target + "/keep", "old");

    EXPECT_FALSE(PresetFiles::WriteReplacing(target, {1, 2, 3}));
    EXPECT_FALSE(ScratchFolder::Exists(target + ".writing"));
    EXPECT_EQ(ScratchFolder::ReadFile(target + "/keep"), (std::vector<uint8_t>{'o', 'l', 'd'}));

    EXPECT_FALSE(PresetFiles::WriteReplacing(folder.Join("no folder/Warm.marlquin"), {1}));
    EXPECT_FALSE(ScratchFolder::Exists(folder.Join("no folder")));
}

TEST(PresetFilesWriting, CreatesNestedFoldersWithWideNames)
{
    ScratchFolder folder;
    const std::string nested = folder.Join(kPolish + "/" + kCyrillic + "/Presets");
    PresetFiles::CreateFolders(nested);
    const std::string path = PresetFiles::Join(nested, "Ёж.marlquin");
    ASSERT_TRUE(PresetFiles::WriteReplacing(path, {7}));
    EXPECT_EQ(PresetFiles::ListUserPresets(nested), std::vector<std::string>{path});
}
