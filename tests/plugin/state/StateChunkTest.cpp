#include "plugin/state/StateChunk.h"

#include "framework/core/IStateBuffer.h"
#include "tests/plugin/StateBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

StateChunk ChunkWithFreeze(bool freeze, std::vector<uint8_t> loop)
{
    StateChunk chunk;
    chunk.params.values[kLoopFreeze] = freeze ? 1.0 : 0.0;
    chunk.params.values[kDrive] = 0.8;
    chunk.frozenLoop = std::move(loop);
    return chunk;
}

TEST(StateChunk, EmptyChunkIs348BytesAndAHostFlagAfterItIsLeftUnread)
{
    iplug::IStateBuffer out;
    ASSERT_TRUE(ChunkWithFreeze(false, {}).Write(out));
    EXPECT_EQ(out.Size(), 348);
    EXPECT_EQ(StateChunk::kEmptyBytes, 348);
    out.Put(int32_t(1));

    StateChunk back;
    EXPECT_EQ(back.Read(out, 0), 348);
    EXPECT_EQ(back.params.values[kDrive], 0.8);
    EXPECT_TRUE(back.frozenLoop.empty());
}

TEST(StateChunk, FrozenLoopTravelsOnlyWithLoopFreezeOn)
{
    const std::vector<uint8_t> loop(100, 7);
    for (bool freeze : {true, false}) {
        SCOPED_TRACE(freeze ? "freeze on" : "freeze off");
        iplug::IStateBuffer out;
        ASSERT_TRUE(ChunkWithFreeze(freeze, loop).Write(out));
        out.Put(int32_t(0));
        StateChunk back;
        back.frozenLoop = {1, 2, 3};
        EXPECT_EQ(back.Read(out, 0), 348 + 100);
        EXPECT_EQ(back.frozenLoop, freeze ? loop : std::vector<uint8_t>());
    }
}

TEST(StateChunk, MalformedSectionStillLoadsTheValues)
{
    iplug::IStateBuffer out;
    ASSERT_TRUE(ChunkWithFreeze(true, std::vector<uint8_t>(16, 1)).Write(out));
    out.Put(uint8_t(0)); // one stray byte: the length no longer matches
    StateChunk back;
    EXPECT_EQ(back.Read(out, 0), out.Size());
    EXPECT_EQ(back.params.values[kDrive], 0.8);
    EXPECT_TRUE(back.frozenLoop.empty());
}

TEST(StateChunk, RejectedChunkLeavesTheReaderUntouched)
{
    StateBytes b;
    b.U32(ParamBlock::kMagic).U32(34).Values(41, 0.5);
    StateChunk chunk = ChunkWithFreeze(true, {5});
    EXPECT_EQ(chunk.Read(b.buffer, 0), -1);
    EXPECT_EQ(chunk.params.values[kDrive], 0.8);
    EXPECT_EQ(chunk.frozenLoop, std::vector<uint8_t>({5}));
}

} // namespace
