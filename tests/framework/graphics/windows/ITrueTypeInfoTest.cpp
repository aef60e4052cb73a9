#include "framework/graphics/windows/ITrueTypeInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace iplug::igraphics {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v >> 16);
    Put16(b, at + 2, v);
}

// One face with head, hhea and a name table holding a Windows family and style, laid
// out at base inside a file (so collections can place several).
Bytes MakeFace(uint32_t base, const std::u16string& family, const std::u16string& style, uint16_t macStyle)
{
    const uint32_t tables = 3;
    const uint32_t dir = 12 + 16 * tables;
    const uint32_t head = base + dir, hhea = head + 54, name = hhea + 36;
    const uint32_t nameRecords = 6 + 12 * 2;
    const uint32_t nameLength = nameRecords + 2 * static_cast<uint32_t>(family.size() + style.size());
    Bytes face(dir + 54 + 36 + nameLength, 0);
    Put32(face, 0, 0x00010000);
    Put16(face, 4, tables);
    const char* tags[] = {"head", "hhea", "name"};
    const uint32_t offsets[] = {head, hhea, name}, lengths[] = {54, 36, nameLength};
    for (uint32_t i = 0; i < tables; ++i) {
        std::copy(tags[i], tags[i] + 4, face.begin() + 12 + 16 * i);
        Put32(face, 12 + 16 * i + 8, offsets[i]);
        Put32(face, 12 + 16 * i + 12, lengths[i]);
    }
    const size_t h = head - base, hh = hhea - base, n = name - base;
    Put16(face, h + 18, 2048);
    Put16(face, h + 44, macStyle);
    Put16(face, hh + 4, 1900);
    Put16(face, hh + 6, static_cast<uint16_t>(-500));
    Put16(face, hh + 8, 0);
    Put16(face, n + 2, 2);
    Put16(face, n + 4, nameRecords);
    const std::u16string* texts[] = {&family, &style};
    uint32_t stringAt = 0;
    for (uint32_t i = 0; i < 2; ++i) {
        const size_t r = n + 6 + 12 * i;
        Put16(face, r, 3);
        Put16(face, r + 2, 1);
        Put16(face, r + 4, 0x409);
        Put16(face, r + 6, 1 + i);
        Put16(face, r + 8, 2 * static_cast<uint32_t>(texts[i]->size()));
        Put16(face, r + 10, stringAt);
        for (char16_t c : *texts[i]) {
            Put16(face, n + nameRecords + stringAt, c);
            stringAt += 2;
        }
    }
    return face;
}

Bytes MakeCollection(uint32_t version, int faces)
{
    Bytes file(12 + 4 * faces, 0);
    std::copy("ttcf", "ttcf" + 4, file.begin());
    Put32(file, 4, version);
    Put32(file, 8, faces);
    for (int i = 0; i < faces; ++i) {
        const auto base = static_cast<uint32_t>(file.size());
        Put32(file, 12 + 4 * i, base);
        const Bytes face = MakeFace(base, u"Face", u"Style" + std::u16string(1, u'A' + i), 0);
        file.insert(file.end(), face.begin(), face.end());
    }
    return file;
}

ITrueTypeInfo Read(const Bytes& b, int face = 0)
{
    return ITrueTypeInfo(b.data(), static_cast<int>(b.size()), face);
}

TEST(ITrueTypeInfoTest, ReadsNamesStyleAndMetricsOfASingleFont)
{
    const Bytes font = MakeFace(0, u"Jöst", u"Medium", 3);
    const ITrueTypeInfo info = Read(font);
    ASSERT_TRUE(info.HasMainTables());
    EXPECT_STREQ(info.family.Get(), "J\xc3\xb6st");
    EXPECT_STREQ(info.style.Get(), "Medium");
    EXPECT_EQ(info.macStyle, 3);
    EXPECT_EQ(info.unitsPerEm, 2048);
    EXPECT_EQ(info.ascender, 1900);
    EXPECT_EQ(info.descender, -500);
    EXPECT_EQ(info.fdscOffset, 0u);
}

TEST(ITrueTypeInfoTest, AcceptsOnlyKnownSignaturesAndFaceIndices)
{
    Bytes font = MakeFace(0, u"A", u"B", 0);
    EXPECT_EQ(Read(font, 1).faceData, nullptr) << "a single font has only face 0";
    for (const char* tag : {"OTTO", "typ1"}) {
        std::copy(tag, tag + 4, font.begin());
        EXPECT_NE(Read(font).faceData, nullptr) << tag;
    }
    std::copy("true", "true" + 4, font.begin());
    EXPECT_EQ(Read(font).faceData, nullptr);
}

TEST(ITrueTypeInfoTest, CollectionFacesAreFoundByIndex)
{
    const Bytes ttc = MakeCollection(0x00020000, 3);
    EXPECT_STREQ(Read(ttc, 2).style.Get(), "StyleC");
    EXPECT_STREQ(Read(ttc, 0).style.Get(), "StyleA");
    EXPECT_EQ(Read(ttc, 3).faceData, nullptr);
    EXPECT_EQ(Read(MakeCollection(0x00030000, 1)).faceData, nullptr) << "unknown collection version";
}

// Damaged files: every offset the reader follows may point past the end.
TEST(ITrueTypeInfoTest, OffsetsBeyondTheDataAreRefusedNotRead)
{
    const Bytes good = MakeFace(0, u"Family", u"Regular", 0);
    struct Case
    {
        const char* what;
        void (*damage)(Bytes&);
        bool faceKept;
    };
    const Case cases[] = {
        {"table count past the end", [](Bytes& b) { Put16(b, 4, 4000); }, false},
        {"head offset past the end", [](Bytes& b) { Put32(b, 12 + 8, 0x7fffff00); }, true},
        {"hhea length past the end", [](Bytes& b) { Put32(b, 12 + 16 + 12, 0xffffffff); }, true},
    };
    for (const Case& c : cases) {
        Bytes b = good;
        c.damage(b);
        const ITrueTypeInfo info = Read(b);
        EXPECT_EQ(info.faceData != nullptr, c.faceKept) << c.what;
    }
    // The family's string length (name table at 150, first record's length at +14).
    Bytes longName = good;
    Put16(longName, 150 + 14, 0xffff);
    const ITrueTypeInfo named = Read(longName);
    EXPECT_TRUE(named.HasMainTables());
    EXPECT_STREQ(named.family.Get(), "");
    EXPECT_STREQ(named.style.Get(), "Regular");

    // Truncation anywhere never reads past the end (the sanitizer and the short copies
    // below catch it) and never keeps a table that no longer fits.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        const Bytes shortData(good.begin(), good.begin() + static_cast<long>(cut));
        const ITrueTypeInfo info(shortData.empty() ? nullptr : shortData.data(), static_cast<int>(cut), 0);
        EXPECT_FALSE(info.HasMainTables()) << "cut at " << cut;
    }
    Bytes ttc = MakeCollection(0x00010000, 2);
    Put32(ttc, 12 + 4, static_cast<uint32_t>(ttc.size()) + 100);
    EXPECT_EQ(Read(ttc, 1).faceData, nullptr) << "face offset past the end";
}

TEST(ITrueTypeInfoTest, ReadsAnInstalledRobotoFile)
{
    FILE* f = std::fopen("Z:\\usr\\share\\fonts\\truetype\\roboto\\unhinted\\RobotoTTF\\Roboto-Regular.ttf", "rb");
    if (!f)
        GTEST_SKIP() << "Roboto is not installed";
    Bytes bytes;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    const ITrueTypeInfo info = Read(bytes);
    ASSERT_TRUE(info.HasMainTables());
    EXPECT_STREQ(info.family.Get(), "Roboto");
    EXPECT_STREQ(info.style.Get(), "Regular");
    EXPECT_GT(info.unitsPerEm, 0);
}

} // namespace
} // namespace iplug::igraphics
