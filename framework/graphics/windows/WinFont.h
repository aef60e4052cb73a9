#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "framework/core/TextBuffer.h"
#include "framework/graphics/PlatformFont.h"
#include "framework/graphics/windows/IFontBlob.h"

#include <memory>

namespace iplug::igraphics {

// A Windows font handle (owned) and, for installed families, the style it was asked for.
class WinFont : public PlatformFont
{
public:
    WinFont(HFONT font, const char* styleName);
    ~WinFont() override;

    void* GetHandle() const override { return font; }
    // The font file's bytes as GDI has them, with the face whose style name matches (any
    // named face when this font has no style name). An unreadable font gives a blob
    // without bytes or face, which the backend refuses.
    std::unique_ptr<IFontBlob> GetFontData() const;
    // Fonts alive, process-wide: leak checks count them.
    static int LiveCount();

private:
    HFONT font;
    TextBuffer styleName;
};

} // namespace iplug::igraphics
