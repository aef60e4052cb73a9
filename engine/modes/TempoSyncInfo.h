#pragma once
#include <cstdint>

// Where the host's beat grid lies for one sample, handed to a mode by
// ModeProcessor::SetTempoSync and copied by the mode.
struct TempoSyncInfo
{
    uint8_t synced = 0;          // Sync is on
    uint8_t boundaryFound = 0;   // the phase is locked to a fresh host position
    uint8_t movedBack = 0;       // the host jumped backwards (first sample of the block only)
    double phase = 0.0;          // position within the current division, 0..1
    int32_t boundaryOffset = -1; // 0 on the sample where a division boundary falls, else -1
    int32_t divisionSamples = 0; // division length in samples (at least 1 once built)
    double divisionBeats = 0.0;  // division length in quarter notes
    double beatsPerSample = 0.0;
};
