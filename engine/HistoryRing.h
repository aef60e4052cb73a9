#pragma once

// A view of one recorded channel kept as a ring: `length` samples, the slot the
// next sample goes to, and the number of samples written since the last reset.
// Position p on that clock lives at index writeIndex - (clock - p), wrapped; the
// newest sample is at position clock - 1. The view owns nothing.
struct HistoryRing
{
    const float* samples = nullptr;
    int length = 0;
    int writeIndex = 0;
    double clock = 0.0;
};
