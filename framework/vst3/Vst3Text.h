#pragma once

// Text crossing the VST 3 boundary: the framework's UTF-8 to and from the SDK's UTF-16 fields.

#include "pluginterfaces/base/ftypes.h"

namespace iplug {

class TextBuffer;

class Vst3Text
{
public:
    // Writes text into a NUL-terminated UTF-16 field of `units` code units; text that cannot be
    // converted becomes empty, text that does not fit is cut at a character boundary.
    static void ToUtf16(const char* text, Steinberg::char16* out, int units);

    // The UTF-16 text as UTF-8; empty when it cannot be converted.
    static void ToUtf8(const Steinberg::char16* text, TextBuffer& out);
};

} // namespace iplug
