#include "plugin/resources/generator/FontFace.h"

#include <cmath>
#include <fstream>
#include <iterator>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

struct FontFace::Info
{
    stbtt_fontinfo font;
    // Half of ascent plus descent, per unit of size: the baseline's distance below the line's
    // middle, as the panel's text drawing centres lines.
    float middleToBaseline = 0.35f;
};

bool FontFace::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.empty())
        return false;
    auto loaded = std::make_shared<Info>();
    if (!stbtt_InitFont(&loaded->font, bytes.data(), stbtt_GetFontOffsetForIndex(bytes.data(), 0)))
        return false;
    int ascent, descent, lineGap;
    stbtt_GetFontVMetrics(&loaded->font, &ascent, &descent, &lineGap);
    loaded->middleToBaseline = (ascent + descent) / 2.0f * stbtt_ScaleForPixelHeight(&loaded->font, 1.0f);
    info = loaded;
    return true;
}

float FontFace::TextWidth(const std::string& text, float size, float spacing) const
{
    if (!info || text.empty())
        return 0.0f;
    const float scale = stbtt_ScaleForPixelHeight(&info->font, size);
    float width = 0.0f;
    for (size_t i = 0; i < text.size(); ++i) {
        int advance, bearing;
        stbtt_GetCodepointHMetrics(&info->font, static_cast<unsigned char>(text[i]), &advance, &bearing);
        width += advance * scale;
        if (i + 1 < text.size())
            width += spacing
                     + stbtt_GetCodepointKernAdvance(&info->font, static_cast<unsigned char>(text[i]),
                                                     static_cast<unsigned char>(text[i + 1]))
                           * scale;
    }
    return width;
}

void FontFace::DrawText(Canvas& canvas, const std::string& text, float x, float y, float size, float spacing,
                        Align align, const Rgba& colour) const
{
    if (!info || text.empty())
        return;
    const float scale = stbtt_ScaleForPixelHeight(&info->font, size);
    const float width = TextWidth(text, size, spacing);
    float penX = align == Align::kLeft ? x : align == Align::kCentre ? x - width / 2.0f : x - width;
    const float baseline = y + info->middleToBaseline * size;
    const int baseRow = static_cast<int>(std::floor(baseline));
    const float shiftY = baseline - baseRow;
    for (size_t i = 0; i < text.size(); ++i) {
        const int code = static_cast<unsigned char>(text[i]);
        const int startX = static_cast<int>(std::floor(penX));
        const float shiftX = penX - startX;
        int w = 0, h = 0, xoff = 0, yoff = 0;
        unsigned char* mask =
            stbtt_GetCodepointBitmapSubpixel(&info->font, scale, scale, shiftX, shiftY, code, &w, &h, &xoff, &yoff);
        if (mask) {
            canvas.BlendMask(mask, w, h, startX + xoff, baseRow + yoff, colour);
            stbtt_FreeBitmap(mask, nullptr);
        }
        int advance, bearing;
        stbtt_GetCodepointHMetrics(&info->font, code, &advance, &bearing);
        penX += advance * scale;
        if (i + 1 < text.size())
            penX += spacing
                    + stbtt_GetCodepointKernAdvance(&info->font, code, static_cast<unsigned char>(text[i + 1])) * scale;
    }
}
