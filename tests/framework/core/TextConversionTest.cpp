#include "framework/core/TextConversion.h"
#include "framework/core/TextBuffer.h"
#include "framework/core/WideTextBuffer.h"

#include <gtest/gtest.h>

#include <string>

using iplug::TextBuffer;
using iplug::WideTextBuffer;

namespace {

struct RoundTrip
{
    const char* utf8;
    std::u16string utf16;
};

TEST(TextConversion, ValidTextRoundTrips)
{
    const RoundTrip cases[] = {
        {"", u""},
        {"knob.png", u"knob.png"},
        {"caf\xc3\xa9", u"caf\u00e9"},                               // two-byte form
        {"\xe2\x82\xac 5", u"\u20ac 5"},                             // three-byte form
        {"\xf0\x9f\x98\x80!", std::u16string{0xd83d, 0xde00, u'!'}}, // surrogate pair
    };
    for (const RoundTrip& c : cases) {
        WideTextBuffer wide(c.utf8);
        ASSERT_NE(wide.Get(), nullptr);
        EXPECT_EQ(std::u16string(wide.Get()), c.utf16) << c.utf8;
        EXPECT_EQ(wide.GetLength(), int(c.utf16.size()));

        TextBuffer back;
        back.FromUtf16(c.utf16.c_str());
        EXPECT_STREQ(back.Get(), c.utf8);
    }
}

TEST(TextConversion, InvalidUtf8BecomesEmptyWideText)
{
    const char* invalid[] = {
        "\xc3",             // truncated sequence
        "a\x80z",           // stray continuation byte
        "\xc0\xaf",         // overlong form of '/'
        "\xed\xa0\x80",     // encoded surrogate
        "\xf4\x90\x80\x80", // past U+10FFFF
        "\xff",
    };
    for (const char* text : invalid) {
        WideTextBuffer wide(text);
        ASSERT_NE(wide.Get(), nullptr);
        EXPECT_EQ(wide.GetLength(), 0) << "bytes " << std::string(text).size();
    }
    WideTextBuffer fromNull(nullptr);
    ASSERT_NE(fromNull.Get(), nullptr);
    EXPECT_EQ(fromNull.GetLength(), 0);
}

TEST(TextConversion, InvalidUtf16BecomesEmptyText)
{
    const std::u16string invalid[] = {
        std::u16string{u'a', 0xd800, u'b'}, // lone high surrogate
        std::u16string{0xdc00},             // lone low surrogate
        std::u16string{u'x', 0xd83d},       // high surrogate at the end
    };
    for (const std::u16string& text : invalid) {
        TextBuffer out("previous");
        out.FromUtf16(text.c_str());
        EXPECT_STREQ(out.Get(), "");
    }
    TextBuffer out("previous");
    out.FromUtf16(static_cast<const char16_t*>(nullptr));
    EXPECT_STREQ(out.Get(), "");
}

TEST(TextConversion, TooSmallOutputFailsInsteadOfCutting)
{
    char16_t wide[4];
    EXPECT_EQ(iplug::Utf16UnitsForUtf8("abcd"), 5);
    EXPECT_EQ(iplug::ConvertUtf8ToUtf16("abcd", wide, 4), 0);
    char narrow[3];
    EXPECT_EQ(iplug::Utf8BytesForUtf16(u"\u00e9\u00e9"), 5);
    EXPECT_EQ(iplug::ConvertUtf16ToUtf8(u"\u00e9\u00e9", narrow, 3), 0);
}

} // namespace
