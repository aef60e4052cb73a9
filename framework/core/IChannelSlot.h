#pragma once

#include "framework/core/GrowBuffer.h"
#include "framework/core/TextBuffer.h"

namespace iplug {

// One input or output channel: whether the host connects it, its entry in the pointer array
// block processing reads, and a scratch buffer of blockSize samples used when the host does
// not connect it (and for the conversion of 32-bit host buffers).
struct IChannelSlot
{
    bool connected = false;
    double** pointerEntry = nullptr;
    float* hostBuffer = nullptr;
    GrowBuffer scratch{4096};
    TextBuffer label;

    double* Scratch() { return reinterpret_cast<double*>(scratch.Data()); }
};

} // namespace iplug
