#pragma once

#include <cstdint>

namespace iplug {
namespace igraphics {

// Base of backend bitmaps: the backend's image handle, its pixel size, the pixels per panel
// unit of the image, and the draw scale it was made at (1 for loaded images).
class APIBitmap
{
public:
    APIBitmap() = default;
    APIBitmap(int32_t imageHandle, int32_t pixelWidth, int32_t pixelHeight, float imageScale, float madeAtDrawScale)
        : image(imageHandle), width(pixelWidth), height(pixelHeight), scale(imageScale), drawScale(madeAtDrawScale)
    {}
    virtual ~APIBitmap() = default;
    APIBitmap(const APIBitmap&) = delete;
    APIBitmap& operator=(const APIBitmap&) = delete;

    int32_t GetImage() const { return image; }
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    float GetScale() const { return scale; }
    float GetDrawScale() const { return drawScale; }

protected:
    int32_t image = 0;
    int32_t width = 0;
    int32_t height = 0;
    float scale = 1.0f;
    float drawScale = 1.0f;
};

} // namespace igraphics
} // namespace iplug
