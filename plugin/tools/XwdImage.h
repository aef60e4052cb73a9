#pragma once

#include "plugin/tools/PanelCapture.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads the picture of an X window dump (the file xwd writes) and cuts a rectangle out of it, so
// a window can be pictured as the X server shows it.
class XwdImage
{
public:
    struct Area
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // The area of the dump as opaque RGBA; false with error set when the file is not a true-colour
    // dump of 24 or 32 bits per pixel or the area does not lie inside it.
    static bool Crop(const std::vector<uint8_t>& file, const Area& area, PanelCapture::Image& out, std::string& error);
};
