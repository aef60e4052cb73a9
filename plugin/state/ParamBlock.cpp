#include "plugin/state/ParamBlock.h"

#include "framework/core/IStateBuffer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr int kLegacyShortCount = 27;
constexpr int kLegacyLongCount = 29;
// A legacy run of 27 values may be followed by a 4-byte host flag.
constexpr int64_t kLegacyShortSizes[] = {216, 220};

} // namespace

ParamBlock::ParamBlock()
{
    FillDefaults(values, false);
}

void ParamBlock::FillDefaults(double* out, bool legacy)
{
    for (int i = 0; i < kParamCount; ++i)
        out[i] = GetParamSpec(i).defaultValue;
    // Chunks from before the repeat engine existed meant the legacy echo.
    if (legacy)
        out[kRepeatEngine] = 0.0;
}

bool ParamBlock::Write(iplug::IStateBuffer& out) const
{
    if (!out.Put(kMagic) || !out.Put(static_cast<uint32_t>(kParamCount)))
        return false;
    for (double v : values)
        if (!out.Put(v))
            return false;
    return true;
}

int ParamBlock::Read(const iplug::IStateBuffer& in, int startPos)
{
    const int64_t size = in.Size();
    if (startPos < 0 || size - startPos < kMinBytes)
        return -1;

    uint32_t magic = 0;
    if (in.Get(&magic, startPos) < 0)
        return -1;

    int64_t count = 0;
    int pos = startPos;
    const bool legacy = magic != kMagic;
    if (!legacy) {
        uint32_t stored = 0;
        pos = in.Get(&stored, startPos + 4);
        if (pos < 0)
            return -1;
        count = stored;
        if (count < kMinCount || count * 8 > size - pos)
            return -1;
    } else {
        const int64_t remaining = size - startPos;
        const bool shortRun = std::find(std::begin(kLegacyShortSizes), std::end(kLegacyShortSizes), remaining)
                              != std::end(kLegacyShortSizes);
        count = shortRun ? kLegacyShortCount : kLegacyLongCount;
    }

    double read[kParamCount];
    FillDefaults(read, legacy);
    const int carried = static_cast<int>(std::min<int64_t>(count, kParamCount));
    for (int i = 0; i < carried; ++i) {
        double v = 0.0;
        pos = in.Get(&v, pos);
        if (pos < 0 || !std::isfinite(v))
            return -1;
        read[i] = ClampToParamSpec(i, v);
    }
    // Values of parameters a newer version added are skipped; the count check above keeps
    // the skip inside the buffer.
    if (count > kParamCount)
        pos = static_cast<int>(pos + (count - kParamCount) * 8);

    std::copy(std::begin(read), std::end(read), values);
    return pos;
}
