#include "framework/vst3/Vst3Text.h"

#include "framework/core/TextBuffer.h"
#include "framework/core/TextConversion.h"

#include <cstring>
#include <vector>

static_assert(sizeof(Steinberg::char16) == sizeof(char16_t), "the SDK's text is UTF-16");

namespace iplug {

void Vst3Text::ToUtf16(const char* text, Steinberg::char16* out, int units)
{
    if (!out || units < 1)
        return;
    out[0] = 0;
    if (!text)
        return;
    auto* wide = reinterpret_cast<char16_t*>(out);
    const int needed = Utf16UnitsForUtf8(text);
    if (needed <= 0)
        return;
    if (needed <= units) {
        if (ConvertUtf8ToUtf16(text, wide, units) == 0)
            out[0] = 0;
        return;
    }
    std::vector<char16_t> whole(static_cast<size_t>(needed));
    if (ConvertUtf8ToUtf16(text, whole.data(), needed) == 0)
        return;
    int keep = units - 1;
    // A cut must not leave half of a surrogate pair behind.
    if (keep > 0 && whole[static_cast<size_t>(keep - 1)] >= 0xD800 && whole[static_cast<size_t>(keep - 1)] <= 0xDBFF)
        --keep;
    std::memcpy(wide, whole.data(), sizeof(char16_t) * static_cast<size_t>(keep));
    wide[keep] = 0;
}

void Vst3Text::ToUtf8(const Steinberg::char16* text, TextBuffer& out)
{
    out.Set("");
    if (text)
        out.FromUtf16(reinterpret_cast<const char16_t*>(text));
}

} // namespace iplug
