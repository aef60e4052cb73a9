#include "framework/graphics/windows/WinFont.h"

#include <atomic>
#include <cstring>

namespace iplug::igraphics {

namespace {

constexpr DWORD kCollectionTag = 0x66637474; // "ttcf" as GetFontData reads table tags

std::atomic<int> liveFonts{0};

} // namespace

WinFont::WinFont(HFONT font, const char* styleName) : font(font), styleName(styleName)
{
    ++liveFonts;
}

WinFont::~WinFont()
{
    if (font)
        DeleteObject(font);
    --liveFonts;
}

int WinFont::LiveCount()
{
    return liveFonts;
}

std::unique_ptr<IFontBlob> WinFont::GetFontData() const
{
    auto blob = std::make_unique<IFontBlob>();
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return blob;
    HGDIOBJ previous = SelectObject(dc, font);
    const DWORD size = ::GetFontData(dc, 0, 0, nullptr, 0);
    if (size != GDI_ERROR && size > 0 && size < 0x7fffffff && blob->bytes.Resize(static_cast<int>(size), false)) {
        DWORD read = ::GetFontData(dc, kCollectionTag, 0, blob->bytes.Data(), size);
        if (read != size)
            read = ::GetFontData(dc, 0, 0, blob->bytes.Data(), size);
        if (read == size) {
            for (int index = 0;; ++index) {
                ITrueTypeInfo info(blob->bytes.Data(), blob->bytes.Size(), index);
                if (!info.faceData)
                    break;
                const bool named = info.style.GetLength() > 0;
                if (named && (styleName.GetLength() == 0 || std::strcmp(info.style.Get(), styleName.Get()) == 0)) {
                    blob->info = info;
                    blob->faceIndex = index;
                    break;
                }
            }
        }
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return blob;
}

} // namespace iplug::igraphics
