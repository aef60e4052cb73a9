#pragma once

namespace iplug {

// The host's transport as the block processor sees it. A position of -1.0 means the host
// did not give it.
struct ITransportInfo
{
    double tempo = 120.0;
    double samplePos = -1.0;
    double quarterNotePos = -1.0;
    double lastBarPos = -1.0;
    double cycleStart = -1.0;
    double cycleEnd = -1.0;
    int numerator = 4;
    int denominator = 4;
    bool transportRunning = false;
    bool cycleActive = false;
};

} // namespace iplug
