#pragma once

#include "engine/state/FrozenLoopBlob.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace iplug {
class IStateBuffer;
}

// The optional frozen-loop audio after the parameter block of a state chunk: magic, version,
// length N, then N bytes of a frozen-loop blob (N is 0 when no loop is stored).
class FrozenSection
{
public:
    static constexpr uint32_t kMagic = 0x4B545331;
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 12;
    // 128 MiB, or the largest blob the engine writes when that is more: a frozen loop prepared
    // at the highest supported rate must survive a save and reload.
    static constexpr uint32_t kMaxBlobBytes =
        static_cast<uint32_t>(std::max<uint64_t>(0x8000000, FrozenLoopBlob::MaxSize()));

    // Appends the section; false when the blob is too large to be stored or the buffer cannot
    // grow (the buffer may then hold part of the section).
    static bool Write(iplug::IStateBuffer& out, const uint8_t* blob, size_t size);

    // Reads the section at pos and returns where it ends. Its length must account for every byte
    // that follows, or for all but a trailing 4-byte host flag; otherwise the rest of the buffer
    // is skipped (the buffer's size is returned). blob receives the stored loop when it is wanted and
    // the section is well-formed, and is emptied otherwise (also when the copy runs out of memory).
    static int Read(const iplug::IStateBuffer& in, int pos, bool wantBlob, std::vector<uint8_t>& blob);
};
