#include "plugin/state/FrozenSection.h"

#include "framework/core/IStateBuffer.h"

#include <new>

namespace {

// The host appends a 4-byte bypass flag after the chunk.
constexpr int64_t kTrailingFlagBytes = 4;

} // namespace

bool FrozenSection::Write(iplug::IStateBuffer& out, const uint8_t* blob, size_t size)
{
    if (size > kMaxBlobBytes || (size > 0 && !blob))
        return false;
    if (!out.Put(kMagic) || !out.Put(kVersion) || !out.Put(static_cast<uint32_t>(size)))
        return false;
    return size == 0 || out.PutBytes(blob, static_cast<int>(size));
}

int FrozenSection::Read(const iplug::IStateBuffer& in, int pos, bool wantBlob, std::vector<uint8_t>& blob)
{
    blob.clear();
    const int size = in.Size();
    uint32_t magic = 0, version = 0, length = 0;
    int at = in.Get(&magic, pos);
    at = at < 0 ? -1 : in.Get(&version, at);
    at = at < 0 ? -1 : in.Get(&length, at);
    if (at < 0)
        return size;

    const int64_t rest = static_cast<int64_t>(size) - at;
    const int64_t n = length;
    if (n != rest && n != rest - kTrailingFlagBytes)
        return size;

    const int end = static_cast<int>(at + n);
    if (!wantBlob || magic != kMagic || version != kVersion || n < 1 || n > kMaxBlobBytes)
        return end;
    try {
        blob.assign(in.Data() + at, in.Data() + at + n);
    } catch (const std::bad_alloc&) {
        blob.clear();
    }
    return end;
}
