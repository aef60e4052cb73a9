#pragma once

#include "framework/core/GrowBuffer.h"

#include <cstdarg>

namespace iplug {

// NUL-terminated 8-bit text (UTF-8 where it came from the system) on a GrowBuffer.
// A failed set leaves the previous text; Get never returns null.
class TextBuffer : public GrowBuffer
{
public:
    TextBuffer();
    explicit TextBuffer(const char* text);
    // Copies other's text; a null or empty source gives "".
    explicit TextBuffer(const TextBuffer* other);
    TextBuffer(const TextBuffer& other);
    TextBuffer& operator=(const TextBuffer& other);
    TextBuffer(TextBuffer&&) noexcept = default;
    TextBuffer& operator=(TextBuffer&&) noexcept = default;

    const char* Get() const;
    int GetLength() const;

    // maxLen < 1 takes the whole text; otherwise at most maxLen bytes, stopping at a NUL.
    // The source may lie inside this buffer.
    void Set(const char* text, int maxLen = 0);

    // printf-style; the result is cut at maxLen characters.
    void SetFormatted(int maxLen, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    void VSetFormatted(int maxLen, const char* format, va_list args);
    // The limit applies to the appended part only.
    void AppendFormatted(int maxLen, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    void VAppendFormatted(int maxLen, const char* format, va_list args);

    // Inserts insertLength bytes of text at position, moving the tailLength bytes
    // found there up. (0, any, 0, 0) empties the text; other invalid arguments change nothing.
    void SpliceAt(int position, const char* text, int insertLength, int tailLength);

    // UTF-16 to UTF-8; text that fails to convert (or a null source) gives "".
    void FromUtf16(const char16_t* text);
#ifdef _WIN32
    void FromUtf16(const wchar_t* text);
#endif

private:
    void SetEmpty();
    void FormatAt(int offset, int maxLen, const char* format, va_list args);
};

} // namespace iplug
