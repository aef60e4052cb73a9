#include "engine/TempoSyncBuilder.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/EngineMath.h"
#include "engine/tables/NoteDivisions.h"

namespace {

// Boundaries closer than this (in beats, or in divisions) are the same boundary.
constexpr double kBoundaryTolerance = 1e-9;
constexpr double kSecondsPerMinute = 60.0;

} // namespace

void TempoSyncBuilder::Reset()
{
    lastHostPosition = std::numeric_limits<double>::quiet_NaN();
    positionFresh = false;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        lastBoundary[slot] = 0.0;
        boundaryEmitted[slot] = false;
    }
}

void TempoSyncBuilder::SetHostPosition(double quarterNotes)
{
    if (!std::isfinite(quarterNotes))
        return;
    hostPosition = quarterNotes;
    positionFresh = true;
}

void TempoSyncBuilder::TakePosition()
{
    if (positionFresh)
        lastHostPosition = hostPosition;
    positionFresh = false;
}

TempoSyncInfo TempoSyncBuilder::Make(int n, int divisionIndex, int slot, bool synced, bool fresh, double bpm,
                                     double sampleRate)
{
    TempoSyncInfo info;
    info.synced = synced ? 1 : 0;
    info.divisionBeats = NoteDivisions[std::clamp(divisionIndex, 0, kNoteDivisionCount - 1)];
    info.beatsPerSample = EffectiveTempo(bpm) / kSecondsPerMinute / sampleRate;
    info.divisionSamples = std::max(EngineMath::RoundToInt(info.divisionBeats / info.beatsPerSample), 1);

    if (!synced || !fresh)
        return info;
    const double position = hostPosition;
    const double previous = lastHostPosition;
    if (std::isnan(previous) || position == previous)
        return info;

    info.boundaryFound = 1;
    info.movedBack = previous > position ? 1 : 0;
    if (info.movedBack)
        boundaryEmitted[slot] = false;

    const double beats = info.divisionBeats;
    const double divisions = position / beats;
    info.phase = divisions - std::floor(divisions);

    double next = std::ceil(divisions - kBoundaryTolerance) * beats;
    if (boundaryEmitted[slot] && std::fabs(next - lastBoundary[slot]) < kBoundaryTolerance)
        next += beats;

    const double end = position + n * info.beatsPerSample - kBoundaryTolerance;
    if (!(end > next))
        return info;
    info.boundaryOffset =
        std::clamp(EngineMath::RoundToInt((next - position) / info.beatsPerSample), 0, std::max(n - 1, 0));
    // Far out on the timeline a division can fall below the position's precision;
    // stop there instead of spinning on the audio thread.
    while (end > next + beats && next + beats != next)
        next += beats;
    lastBoundary[slot] = next;
    boundaryEmitted[slot] = true;
    return info;
}
