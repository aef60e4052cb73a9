#pragma once

#include "plugin/resources/generator/Canvas.h"

#include <memory>
#include <string>
#include <vector>

// One TrueType font for the generator's captions, rasterised with stb_truetype at any pixel size
// with sub-pixel placement. Text is plain ASCII.
class FontFace
{
public:
    enum class Align
    {
        kLeft,
        kCentre,
        kRight
    };

    // False when the file is missing or is not a font.
    bool Load(const std::string& path);

    // Width in pixels of text at a size (ascent to descent, as the panel's text drawing sizes
    // fonts), with extra pixels after every character but the last.
    float TextWidth(const std::string& text, float size, float spacing) const;
    // Draws one line whose middle (between ascent and descent) lies on y.
    void DrawText(Canvas& canvas, const std::string& text, float x, float y, float size, float spacing, Align align,
                  const Rgba& colour) const;

private:
    struct Info;
    std::vector<unsigned char> bytes;
    std::shared_ptr<Info> info;
};
