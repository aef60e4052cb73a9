#pragma once

#include <cstdint>

namespace iplug {

// What the standalone binding needs from the program that owns it: the MIDI output device
// and the window around the editor.
// The program's host object implements it; the framework knows nothing more of that host.
class IPlugAPPHost
{
public:
    virtual ~IPlugAPPHost() = default;

    // False when there is no MIDI output device; otherwise sends the bytes as one message.
    virtual bool SendMidiBytes(const uint8_t* bytes, int size) = 0;
    // Gives the program's window a client area of width x height pixels; false when there
    // is no window to resize.
    virtual bool ResizeHostWindow(int width, int height) = 0;
};

} // namespace iplug
