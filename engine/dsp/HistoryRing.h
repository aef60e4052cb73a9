#pragma once
#include "engine/dsp/DelayLine.h"

// A view of one recorded channel kept as a ring: `length` samples, the slot the
// next sample goes to, and the number of samples written since the last reset.
using HistoryRing = DelayLineView<1>;
