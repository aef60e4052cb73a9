#include "framework/core/TextConversion.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>

namespace iplug {

#ifdef _WIN32

// Strict flags so that invalid text fails as it does in the native build, rather
// than turning into replacement characters.
int Utf16UnitsForUtf8(const char* text)
{
    if (!text)
        return 0;
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
}

int ConvertUtf8ToUtf16(const char* text, char16_t* out, int outUnits)
{
    if (!text || !out || outUnits < 1)
        return 0;
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, reinterpret_cast<LPWSTR>(out), outUnits);
}

int Utf8BytesForUtf16(const char16_t* text)
{
    if (!text)
        return 0;
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, reinterpret_cast<LPCWCH>(text), -1, nullptr, 0, nullptr,
                               nullptr);
}

int ConvertUtf16ToUtf8(const char16_t* text, char* out, int outBytes)
{
    if (!text || !out || outBytes < 1)
        return 0;
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, reinterpret_cast<LPCWCH>(text), -1, out, outBytes,
                               nullptr, nullptr);
}

#else

namespace {

// Decodes one code point; returns the bytes used, or 0 for an invalid sequence.
int DecodeUtf8(const unsigned char* s, uint32_t& cp)
{
    const unsigned char c = s[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    int n;
    uint32_t minimum;
    if ((c & 0xe0) == 0xc0) {
        n = 2;
        cp = c & 0x1f;
        minimum = 0x80;
    } else if ((c & 0xf0) == 0xe0) {
        n = 3;
        cp = c & 0x0f;
        minimum = 0x800;
    } else if ((c & 0xf8) == 0xf0) {
        n = 4;
        cp = c & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    for (int i = 1; i < n; ++i) {
        if ((s[i] & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[i] & 0x3f);
    }
    if (cp < minimum || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return n;
}

// Decodes one code point; returns the units used, or 0 for a lone surrogate.
int DecodeUtf16(const char16_t* s, uint32_t& cp)
{
    const uint32_t u = s[0];
    if (u < 0xd800 || u > 0xdfff) {
        cp = u;
        return 1;
    }
    if (u >= 0xdc00)
        return 0;
    const uint32_t low = s[1];
    if (low < 0xdc00 || low > 0xdfff)
        return 0;
    cp = 0x10000 + ((u - 0xd800) << 10) + (low - 0xdc00);
    return 2;
}

int Utf8Length(uint32_t cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

} // namespace

int ConvertUtf8ToUtf16(const char* text, char16_t* out, int outUnits)
{
    if (!text)
        return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    int64_t written = 0;
    for (;;) {
        uint32_t cp;
        const int used = DecodeUtf8(s, cp);
        if (used == 0)
            return 0;
        s += used;
        const int units = cp >= 0x10000 ? 2 : 1;
        if (out) {
            if (written + units > outUnits)
                return 0;
            if (units == 2) {
                out[written] = char16_t(0xd800 + ((cp - 0x10000) >> 10));
                out[written + 1] = char16_t(0xdc00 + ((cp - 0x10000) & 0x3ff));
            } else {
                out[written] = char16_t(cp);
            }
        }
        written += units;
        if (written > 0x7fffffff)
            return 0;
        if (cp == 0)
            return int(written);
    }
}

int Utf16UnitsForUtf8(const char* text)
{
    return ConvertUtf8ToUtf16(text, nullptr, 0);
}

int ConvertUtf16ToUtf8(const char16_t* text, char* out, int outBytes)
{
    if (!text)
        return 0;
    int64_t written = 0;
    for (;;) {
        uint32_t cp;
        const int used = DecodeUtf16(text, cp);
        if (used == 0)
            return 0;
        text += used;
        const int n = Utf8Length(cp);
        if (out) {
            if (written + n > outBytes)
                return 0;
            auto* o = reinterpret_cast<unsigned char*>(out + written);
            switch (n) {
            case 1:
                o[0] = (unsigned char)cp;
                break;
            case 2:
                o[0] = (unsigned char)(0xc0 | (cp >> 6));
                o[1] = (unsigned char)(0x80 | (cp & 0x3f));
                break;
            case 3:
                o[0] = (unsigned char)(0xe0 | (cp >> 12));
                o[1] = (unsigned char)(0x80 | ((cp >> 6) & 0x3f));
                o[2] = (unsigned char)(0x80 | (cp & 0x3f));
                break;
            default:
                o[0] = (unsigned char)(0xf0 | (cp >> 18));
                o[1] = (unsigned char)(0x80 | ((cp >> 12) & 0x3f));
                o[2] = (unsigned char)(0x80 | ((cp >> 6) & 0x3f));
                o[3] = (unsigned char)(0x80 | (cp & 0x3f));
                break;
            }
        }
        written += n;
        if (written > 0x7fffffff)
            return 0;
        if (cp == 0)
            return int(written);
    }
}

int Utf8BytesForUtf16(const char16_t* text)
{
    return ConvertUtf16ToUtf8(text, nullptr, 0);
}

#endif

} // namespace iplug
