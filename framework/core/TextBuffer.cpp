#include "framework/core/TextBuffer.h"

#include "framework/core/TextConversion.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace iplug {

namespace {
constexpr int64_t kMaxBytes = std::numeric_limits<int>::max();
constexpr int kTextGranularity = 128;

size_t BoundedLength(const char* text, int maxLen)
{
    if (!text)
        return 0;
    if (maxLen < 1)
        return std::strlen(text);
    const void* nul = std::memchr(text, 0, size_t(maxLen));
    return nul ? size_t(static_cast<const char*>(nul) - text) : size_t(maxLen);
}
} // namespace

TextBuffer::TextBuffer() : GrowBuffer(kTextGranularity) {}

TextBuffer::TextBuffer(const char* text) : GrowBuffer(kTextGranularity)
{
    Set(text);
}

TextBuffer::TextBuffer(const TextBuffer* other) : GrowBuffer(kTextGranularity)
{
    if (other && other->Get()[0])
        Set(other->Get());
    else
        SetEmpty();
}

TextBuffer::TextBuffer(const TextBuffer& other) : TextBuffer(&other) {}

TextBuffer& TextBuffer::operator=(const TextBuffer& other)
{
    if (this != &other)
        Set(other.Get());
    return *this;
}

const char* TextBuffer::Get() const
{
    const uint8_t* d = Data();
    return d ? reinterpret_cast<const char*>(d) : "";
}

int TextBuffer::GetLength() const
{
    return int(std::strlen(Get()));
}

void TextBuffer::SetEmpty()
{
    Resize(1, false);
    if (size == 1)
        data[0] = 0;
}

void TextBuffer::Set(const char* text, int maxLen)
{
    const size_t length = BoundedLength(text, maxLen);
    if (length == 0) {
        SetEmpty();
        return;
    }
    if (int64_t(length) + 1 > kMaxBytes)
        return;
    const int wanted = int(length) + 1;
    // The source may be (a suffix of) this very buffer: remember where, since growing
    // may move the block.
    const auto* src = reinterpret_cast<const uint8_t*>(text);
    const bool inside = data && src >= data && src < data + allocated;
    const ptrdiff_t offset = inside ? src - data : 0;
    if (size < wanted) {
        Resize(wanted, false);
        if (size != wanted)
            return;
        if (inside)
            src = data + offset;
    }
    std::memmove(data, src, length);
    data[length] = 0;
    Resize(wanted, false);
}

void TextBuffer::FormatAt(int offset, int maxLen, const char* format, va_list args)
{
    if (maxLen < 0)
        maxLen = 0;
    const int64_t wanted = int64_t(offset) + maxLen + 1;
    if (wanted > kMaxBytes || !format)
        return;
    Resize(int(wanted), false);
    if (size != int(wanted))
        return;
    char* out = reinterpret_cast<char*>(data) + offset;
    out[0] = 0;
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(out, size_t(maxLen) + 1, format, copy);
    va_end(copy);
    // Whatever the runtime reported (an error, or a result longer than the room), the
    // text ends at maxLen at the latest.
    out[maxLen] = 0;
    Resize(offset + int(std::strlen(out)) + 1, false);
}

void TextBuffer::VSetFormatted(int maxLen, const char* format, va_list args)
{
    FormatAt(0, maxLen, format, args);
}

void TextBuffer::SetFormatted(int maxLen, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatAt(0, maxLen, format, args);
    va_end(args);
}

void TextBuffer::VAppendFormatted(int maxLen, const char* format, va_list args)
{
    const int offset = size > 0 ? int(std::strlen(reinterpret_cast<const char*>(data))) : 0;
    FormatAt(offset, maxLen, format, args);
}

void TextBuffer::AppendFormatted(int maxLen, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VAppendFormatted(maxLen, format, args);
    va_end(args);
}

void TextBuffer::SpliceAt(int position, const char* text, int insertLength, int tailLength)
{
    if (insertLength == 0 && tailLength == 0 && position == 0) {
        SetEmpty();
        return;
    }
    if (insertLength < 1 || position < 0 || tailLength < 0 || !text)
        return;
    const int64_t total = int64_t(position) + insertLength + tailLength;
    if (total + 1 > kMaxBytes)
        return;
    // A source inside this buffer would be moved or overwritten by the splice itself.
    std::string ownCopy;
    const auto* src = reinterpret_cast<const uint8_t*>(text);
    if (data && src >= data && src < data + allocated) {
        if (int64_t(insertLength) > (data + allocated) - src)
            return;
        ownCopy.assign(text, size_t(insertLength));
        text = ownCopy.data();
    }
    const int old = size;
    Resize(int(total) + 1, false);
    if (size != int(total) + 1)
        return;
    // Bytes past the old text were never written; a tail that reaches there reads zeros.
    if (total + 1 > old)
        std::memset(data + old, 0, size_t(total + 1 - old));
    std::memmove(data + position + insertLength, data + position, size_t(tailLength));
    std::memcpy(data + position, text, size_t(insertLength));
    data[total] = 0;
}

void TextBuffer::FromUtf16(const char16_t* text)
{
    const int needed = text ? Utf8BytesForUtf16(text) : 0;
    if (needed <= 0) {
        SetEmpty();
        return;
    }
    Resize(needed, false);
    if (size != needed || ConvertUtf16ToUtf8(text, reinterpret_cast<char*>(data), needed) <= 0) {
        SetEmpty();
        return;
    }
    Resize(int(std::strlen(reinterpret_cast<const char*>(data))) + 1, false);
}

#ifdef _WIN32
void TextBuffer::FromUtf16(const wchar_t* text)
{
    FromUtf16(reinterpret_cast<const char16_t*>(text));
}
#endif

} // namespace iplug
