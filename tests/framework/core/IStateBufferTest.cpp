#include "framework/core/IStateBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using iplug::IStateBuffer;

namespace {

TEST(IStateBuffer, TypedValuesAreLittleEndianWithoutPadding)
{
    IStateBuffer state;
    ASSERT_TRUE(state.Put<int32_t>(0x01020304));
    ASSERT_TRUE(state.Put<double>(0.5));
    ASSERT_TRUE(state.Put<float>(-2.0f));
    ASSERT_EQ(state.Size(), 4 + 8 + 4);
    const uint8_t* bytes = state.Data();
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[4 + 7], 0x3f); // 0.5 = 0x3FE0000000000000
    EXPECT_EQ(bytes[4 + 6], 0xe0);

    int32_t i = 0;
    double d = 0;
    float f = 0;
    int pos = state.Get(&i, 0);
    pos = state.Get(&d, pos);
    pos = state.Get(&f, pos);
    EXPECT_EQ(pos, 16);
    EXPECT_EQ(i, 0x01020304);
    EXPECT_EQ(d, 0.5);
    EXPECT_EQ(f, -2.0f);
}

TEST(IStateBuffer, ReadsThatCannotBeSatisfiedCopyNothing)
{
    IStateBuffer state;
    const char bytes[12] = "0123456789A";
    state.PutBytes(bytes, 12);
    struct Case
    {
        int n;
        int startPos;
    };
    const Case failing[] = {{8, 12 - 4}, {8, -1}, {1, 12}, {-4, 0}, {4, -100}, {INT32_MAX, 1}};
    for (const Case& c : failing) {
        char out[16];
        std::memset(out, '#', sizeof(out));
        EXPECT_EQ(state.GetBytes(out, c.n, c.startPos), -1) << c.n << "@" << c.startPos;
        EXPECT_EQ(out[0], '#');
    }
    char out[4];
    EXPECT_EQ(state.GetBytes(out, 4, 8), 12);
    EXPECT_EQ(std::memcmp(out, "89A", 4), 0);
    EXPECT_EQ(state.GetBytes(out, 0, 12), 12);
}

TEST(IStateBuffer, AChainOfReadsStaysFailedOnceFailed)
{
    IStateBuffer state;
    state.Put<int32_t>(7);
    int32_t first = 0, second = 0, third = 0;
    int pos = state.Get(&first, 0);
    pos = state.Get(&second, pos);
    pos = state.Get(&third, pos);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(pos, -1);
}

TEST(IStateBuffer, PutBytesRejectsNegativeCountAndAppendsToItself)
{
    IStateBuffer state;
    EXPECT_FALSE(state.PutBytes("x", -1));
    EXPECT_EQ(state.Size(), 0);
    EXPECT_TRUE(state.PutBytes(nullptr, 0));

    // Appending a buffer to itself many times moves the block while its own bytes are read.
    state.PutBytes("ab", 2);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(state.PutBuffer(state), 2 << (i + 1));
    ASSERT_EQ(state.Size(), 8192);
    for (int i = 0; i < state.Size(); ++i)
        ASSERT_EQ(state.Data()[i], i % 2 ? 'b' : 'a');
}

TEST(IStateBuffer, PutBufferAppendsTheOthersBytes)
{
    IStateBuffer a, b;
    a.Put<int32_t>(1);
    b.Put<int32_t>(2);
    b.Put<int32_t>(3);
    EXPECT_EQ(a.PutBuffer(b), 12);
    int32_t v = 0;
    EXPECT_EQ(a.Get(&v, 8), 12);
    EXPECT_EQ(v, 3);
    IStateBuffer empty;
    EXPECT_EQ(a.PutBuffer(empty), 12);
}

} // namespace
