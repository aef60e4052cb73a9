#include "framework/core/GrowBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace iplug {

namespace {
constexpr int64_t kMaxBytes = std::numeric_limits<int>::max();
constexpr int64_t kPage = 4096;
// Large buffers end a little short of a page boundary so that the allocator's own
// header keeps the block within whole pages.
constexpr int64_t kPageSlack = 96;
constexpr int64_t kMaxStep = 4194304;
} // namespace

GrowBuffer::GrowBuffer(int granularity) : granularity(granularity > 0 ? granularity : 1) {}

GrowBuffer::~GrowBuffer()
{
    std::free(data);
}

GrowBuffer::GrowBuffer(const GrowBuffer& other) : granularity(other.granularity)
{
    CopyFrom(other);
}

GrowBuffer& GrowBuffer::operator=(const GrowBuffer& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

GrowBuffer::GrowBuffer(GrowBuffer&& other) noexcept
    : data(std::exchange(other.data, nullptr)), allocated(std::exchange(other.allocated, 0)),
      size(std::exchange(other.size, 0)), granularity(other.granularity)
{}

GrowBuffer& GrowBuffer::operator=(GrowBuffer&& other) noexcept
{
    if (this != &other) {
        std::free(data);
        data = std::exchange(other.data, nullptr);
        allocated = std::exchange(other.allocated, 0);
        size = std::exchange(other.size, 0);
        granularity = other.granularity;
    }
    return *this;
}

int64_t GrowBuffer::AllocationFor(int64_t newSize, int granularity)
{
    if (newSize < 1)
        return 0;
    const int64_t gran = std::max(granularity, 1);
    int64_t a;
    if (gran < kPage) {
        a = newSize + std::max(newSize / 2, gran);
    } else {
        const int64_t c = std::max(newSize / 2, gran) / kPage * kPage;
        const int64_t step = c < kPage ? kPage : std::min(c, kMaxStep);
        a = (newSize + kPageSlack + step) / kPage * kPage - kPageSlack;
    }
    // Near the i32 limit the spare room is cut rather than refusing a size that fits.
    return std::min(a, std::max(kMaxBytes, newSize));
}

void* GrowBuffer::Resize(int requested, bool allowShrink)
{
    const int newSize = std::max(requested, 0);
    if (newSize == size)
        return Data();

    int64_t threshold = 0;
    if (allowShrink && newSize < size)
        threshold =
            std::max<int64_t>(std::min<int64_t>(int64_t(allocated) - 4 * int64_t(granularity), allocated / 2), 1);

    if (newSize <= allocated && newSize >= threshold) {
        size = newSize;
        return Data();
    }

    const int64_t a = AllocationFor(newSize, granularity);
    if (a > kMaxBytes)
        return Data();
    if (a != allocated) {
        if (a < 1) {
            std::free(data);
            data = nullptr;
            allocated = 0;
            size = 0;
            return nullptr;
        }
        auto* block = static_cast<uint8_t*>(std::realloc(data, size_t(a)));
        if (!block) {
            block = static_cast<uint8_t*>(std::malloc(size_t(a)));
            if (!block)
                return Data();
            if (data) {
                std::memcpy(block, data, size_t(std::min(size, newSize)));
                std::free(data);
            }
        }
        data = block;
        allocated = int(a);
    }
    size = newSize;
    return Data();
}

void GrowBuffer::CopyFrom(const GrowBuffer& other)
{
    if (this == &other)
        return;
    Resize(other.size, true);
    if (size != other.size) {
        Resize(0, true);
        return;
    }
    if (size > 0)
        std::memcpy(data, other.data, size_t(size));
}

} // namespace iplug
