#include "framework/core/TextBuffer.h"

#include <gtest/gtest.h>

#include <string>

using iplug::TextBuffer;

namespace {

TEST(TextBuffer, FreshBufferReadsEmptyNeverNull)
{
    TextBuffer text;
    ASSERT_NE(text.Get(), nullptr);
    EXPECT_STREQ(text.Get(), "");
    EXPECT_EQ(text.Size(), 0);

    TextBuffer fromNull(static_cast<const TextBuffer*>(nullptr));
    EXPECT_STREQ(fromNull.Get(), "");
    EXPECT_EQ(fromNull.Size(), 1);
}

struct SetCase
{
    const char* text;
    int maxLen;
    const char* expected;
};

TEST(TextBuffer, SetTakesBoundedLength)
{
    const char embedded[] = {'a', 'b', 0, 'c', 'd', 0};
    const SetCase cases[] = {
        {"abcdef", 3, "abc"},
        {"abcdef", 0, "abcdef"},
        {"abcdef", -4, "abcdef"},
        {"abcdef", 100, "abcdef"},
        {embedded, 5, "ab"},
        {nullptr, 5, ""},
        {"", 0, ""},
    };
    for (const SetCase& c : cases) {
        TextBuffer text("previous");
        text.Set(c.text, c.maxLen);
        EXPECT_STREQ(text.Get(), c.expected) << "maxLen " << c.maxLen;
        EXPECT_EQ(text.Size(), int(std::string(c.expected).size()) + 1);
    }
}

TEST(TextBuffer, SetFromOwnSuffixKeepsTheSuffix)
{
    TextBuffer text("0123456789");
    text.Set(text.Get() + 4);
    EXPECT_STREQ(text.Get(), "456789");

    // A source inside the buffer that must grow: the block may move while growing.
    TextBuffer grown;
    grown.Resize(4, false);
    std::string longer(300, 'x');
    TextBuffer other(longer.c_str());
    grown.Set(other.Get() + 10);
    EXPECT_EQ(std::string(grown.Get()), longer.substr(10));
}

TEST(TextBuffer, SetFormattedCutsAtLimit)
{
    TextBuffer text;
    const std::string forty(40, 'q');
    text.SetFormatted(32, "%s", forty.c_str());
    EXPECT_EQ(std::string(text.Get()), forty.substr(0, 32));
    EXPECT_EQ(text.Size(), 33);

    text.SetFormatted(32, "%d-%s", 7, "ok");
    EXPECT_STREQ(text.Get(), "7-ok");
    EXPECT_EQ(text.Size(), 5);

    text.SetFormatted(0, "%s", "anything");
    EXPECT_STREQ(text.Get(), "");
}

TEST(TextBuffer, AppendFormattedLimitsOnlyTheAppendedPart)
{
    TextBuffer text("base-");
    text.AppendFormatted(3, "%s", "123456");
    EXPECT_STREQ(text.Get(), "base-123");
    EXPECT_EQ(text.Size(), 9);

    TextBuffer empty;
    empty.AppendFormatted(10, "CH%i", 1);
    EXPECT_STREQ(empty.Get(), "CH1");
}

TEST(TextBuffer, SpliceAtInsertsAndMovesTail)
{
    struct Case
    {
        const char* start;
        int position;
        const char* insert;
        int insertLength;
        int tailLength;
        const char* expected;
    };
    const Case cases[] = {
        {"abcdef", 2, "XY", 2, 4, "abXYcdef"}, // middle, whole tail kept
        {"abcdef", 0, "XY", 2, 6, "XYabcdef"}, // at start
        {"abcdef", 6, "XY", 2, 0, "abcdefXY"}, // at end
        {"abcdef", 2, "XY", 2, 1, "abXYc"},    // tail cut
        {"abcdef", 0, "", 0, 0, ""},           // empties
        {"abcdef", -1, "XY", 2, 0, "abcdef"},  // invalid: unchanged
        {"abcdef", 1, "XY", 0, 2, "abcdef"},
        {"abcdef", 1, "XY", 2, -1, "abcdef"},
        {"abcdef", 1, nullptr, 2, 0, "abcdef"},
    };
    for (const Case& c : cases) {
        TextBuffer text(c.start);
        text.SpliceAt(c.position, c.insert, c.insertLength, c.tailLength);
        EXPECT_STREQ(text.Get(), c.expected) << c.position << " " << c.insertLength << " " << c.tailLength;
    }
}

TEST(TextBuffer, SpliceAtWithSourceFromItsOwnText)
{
    TextBuffer text("abcdef");
    text.SpliceAt(1, text.Get() + 3, 3, 5); // insert "def" after 'a'
    EXPECT_STREQ(text.Get(), "adefbcdef");
}

TEST(TextBuffer, SpliceTailPastTheTextReadsZerosNotGarbage)
{
    TextBuffer text("ab");
    text.SpliceAt(1, "X", 1, 10);
    EXPECT_STREQ(text.Get(), "aXb");
    EXPECT_EQ(text.Size(), 13);
}

TEST(TextBuffer, CopiesAreIndependent)
{
    TextBuffer a("first");
    TextBuffer b(a);
    a.Set("changed");
    EXPECT_STREQ(b.Get(), "first");
    b = a;
    EXPECT_STREQ(b.Get(), "changed");
}

} // namespace
