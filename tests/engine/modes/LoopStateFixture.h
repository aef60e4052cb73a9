#pragma once
// Reading and editing a LoopsMode through its state record: the history one
// channel at a time, and edits installed the way a restore installs a record.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "engine/modes/LoopsMode.h"

// Takes the record out, lets `edit` change it and restores it. A record taken
// from a loop always fits it again unless the edit resized its arrays, which
// no test means to do.
template <typename Edit>
void EditState(LoopsMode& loop, Edit edit)
{
    LoopsMode::State state = loop.TakeState();
    edit(state);
    if (!loop.RestoreState(std::move(state))) {
        std::fprintf(stderr, "EditState: the edited record no longer fits its loop\n");
        std::abort();
    }
}

// The sample of one channel (0 left, 1 right) in a slot of the history ring.
inline float HistorySample(const LoopsMode& loop, int channel, size_t slot)
{
    return loop.GetState().history.FrameAt(slot)[channel];
}

inline std::vector<float> HistoryChannel(const LoopsMode& loop, int channel)
{
    const DelayLine<2>& history = loop.GetState().history;
    std::vector<float> samples(history.Length());
    for (size_t j = 0; j < samples.size(); ++j)
        samples[j] = history.FrameAt(j)[channel];
    return samples;
}

inline bool SameHistory(const LoopsMode& a, const LoopsMode& b)
{
    const DelayLine<2>& x = a.GetState().history;
    const DelayLine<2>& y = b.GetState().history;
    return x.Length() == y.Length() && std::equal(x.Frames(), x.Frames() + 2 * x.Length(), y.Frames());
}
