#pragma once
#include <cstdint>
#include <limits>

#include "engine/modes/TempoSyncInfo.h"

// Builds the block's tempo records from the host's musical position: it
// remembers the position of the previous block and, per tempo-sync slot, the
// last division boundary it reported, so that a boundary is reported once.
class TempoSyncBuilder
{
public:
    static constexpr int kSlotCount = 2;

    // Forgets every position and boundary (after a preparation).
    void Reset();
    // The host's position in quarter notes for the coming block; a non-finite
    // position is ignored.
    void SetHostPosition(double quarterNotes);
    // The record of a slot (0 the tremolo, 1 the other modes) for a block of n
    // samples at the given tempo (BPM, clamped where used) and rate.
    TempoSyncInfo Make(int n, int divisionIndex, int slot, bool synced, bool fresh, double bpm, double sampleRate);
    // Block start, after the records are built: a fresh position becomes the
    // previous one and is no longer fresh.
    void TakePosition();

    bool PositionFresh() const { return positionFresh; }
    double HostPosition() const { return hostPosition; }
    double LastHostPosition() const { return lastHostPosition; }

private:
    double hostPosition = 0.0;
    bool positionFresh = false;
    double lastHostPosition = std::numeric_limits<double>::quiet_NaN();
    double lastBoundary[kSlotCount] = {};
    bool boundaryEmitted[kSlotCount] = {};
};
