#pragma once

#include "engine/HistoryRing.h"
#include "engine/SincTable.h"

// Reads of a history ring at a position between samples.

// Linear interpolation between the two slots around the position.
float ReadLinear(const HistoryRing& ring, double position);

// Windowed-sinc interpolation with a table from GetSincTable. Taps that would lie
// after the newest written sample read the newest sample instead.
float ReadSinc(const HistoryRing& ring, double position, const SincTable& table);
