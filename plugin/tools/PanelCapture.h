#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Opens the plug-in's editor in a window as a host does, turns it to a side of the panel with a
// click on the side switch, and reads the pixels of the frame it presented. The scale comes from
// the user scale file of a scratch APPDATA, as in a user's session.
class PanelCapture
{
public:
    struct Image
    {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> rgba;
    };

    // False with error set when anything fails.
    static bool Capture(bool back, float scale, Image& out, std::string& error);
    static bool SavePng(const Image& image, const std::string& path);
    static bool LoadPng(const std::string& path, Image& out);
    // Share of channel values that differ by more than tolerance; 1 when the sizes differ.
    static double DifferingShare(const Image& a, const Image& b, int tolerance);
};
