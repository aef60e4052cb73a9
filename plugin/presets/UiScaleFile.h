#pragma once

#include <string>

// The panel's draw scale remembered per user in a one-line text file ("%.3f\n"), read each time
// an editor is made and written when the user resizes the panel. Numbers are written and read
// with a full stop whatever the process locale.
class UiScaleFile
{
public:
    static constexpr float kMinScale = 0.75f;
    static constexpr float kMaxScale = 2.0f;
    static constexpr float kDefaultScale = 1.0f;

    // The stored scale clamped to the panel's limits; 1.0 when the file is missing or does not
    // start with a finite number.
    static float Read(const std::string& path);
    // Writes the scale clamped to the limits, creating the missing folders first. The file is
    // replaced whole, so an editor opening meanwhile reads the old scale or the new one. False
    // when the file could not be written.
    static bool Write(const std::string& path, float scale);

    static float Clamp(float scale);
    // "1.250\n" for 1.25.
    static std::string Format(float scale);
    // The number at the start of text (after blanks); false when there is none or it is not finite.
    static bool Parse(const std::string& text, float& value);
};
