#pragma once

namespace iplug {

// UTF-8 <-> UTF-16 seam. In the Windows build these are the system conversions with
// code page 65001; natively a strict converter with the same rules. Invalid input
// (bad sequences, overlong forms, lone surrogates, code points past U+10FFFF) fails.
// Counts include the terminator; 0 means failure.

// UTF-16 units needed for text, its terminator included.
int Utf16UnitsForUtf8(const char* text);
// Converts text into out (capacity outUnits); returns the units written with the
// terminator, or 0 when the text is invalid or does not fit.
int ConvertUtf8ToUtf16(const char* text, char16_t* out, int outUnits);

// UTF-8 bytes needed for text, its terminator included.
int Utf8BytesForUtf16(const char16_t* text);
int ConvertUtf16ToUtf8(const char16_t* text, char* out, int outBytes);

} // namespace iplug
