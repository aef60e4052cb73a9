#pragma once
// Renders a stage's scene in calls of a chosen length, for comparing calls that
// cover many samples with one-sample calls bit for bit.
#include <gtest/gtest.h>

#include "engine/dsp/DriftContext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace chunked_render {

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

// The call lengths the comparisons run: short, odd, and longer than any gap
// between the scenes' events.
inline const std::vector<int>& RunLengths()
{
    static const std::vector<int> lengths{2, 3, 7, 64, 511, 512, 100000};
    return lengths;
}

// The index of the first sample where a and b differ bit for bit, or -1.
inline long FirstDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0)
            return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

// Feeds `io` to a rig in place, in calls of at most runLength samples. The rig
// acts on its scene's events (parameter changes, chaos steps) at the start of a
// call, and no call runs across the next one (SamplesToNextEvent), so every run
// length sees the same events at the same samples.
template <class Rig>
void Render(Rig& rig, Stereo& io, int runLength)
{
    const int size = static_cast<int>(io.left.size());
    for (int i = 0; i < size;) {
        const int count = std::min({runLength, size - i, rig.SamplesToNextEvent()});
        rig.Process(&io.left[static_cast<size_t>(i)], &io.right[static_cast<size_t>(i)], count);
        i += count;
    }
}

inline Stereo TailInput()
{
    constexpr int kLength = 4096;
    Stereo tail{std::vector<float>(kLength), std::vector<float>(kLength)};
    for (int i = 0; i < kLength; ++i) {
        tail.left[static_cast<size_t>(i)] = static_cast<float>(0.3 * std::sin(0.043 * i));
        tail.right[static_cast<size_t>(i)] = static_cast<float>(0.4 * std::sin(0.071 * i + 1.0));
    }
    return tail;
}

// A stage under a script of events, each applied at its sample, with the chaos
// stepped every 512 samples as the engine steps it. The test prepares `stage`.
template <class Stage>
class ScriptedStageRig
{
public:
    using Event = std::pair<int, std::function<void(Stage&, DriftContext&)>>;

    ScriptedStageRig(const std::vector<Event>& script, uint32_t seed, double chaos) : events(&script), drift(seed)
    {
        drift.SetAmount(chaos);
    }

    int SamplesToNextEvent() const
    {
        int next = 512 - position % 512;
        for (const auto& event : *events)
            if (event.first > position)
                next = std::min(next, event.first - position);
        return next;
    }

    void Process(float* left, float* right, int n)
    {
        if (position % 512 == 0)
            drift.Step(512.0 / 48000.0);
        for (const auto& event : *events)
            if (event.first == position)
                event.second(stage, drift);
        stage.Process(left, right, n, drift);
        position += n;
    }

    Stage stage;

private:
    const std::vector<Event>* events;
    DriftContext drift;
    int position = 0;
};

// A mode under a script of cues, each applied between two samples. Unlike
// ScriptedStageRig, the chaos moves only where a cue moves it. The mode lives on
// the heap (modes hold long histories) and arrives prepared.
template <class Mode>
class CuedModeRig
{
public:
    using Cue = std::pair<int, std::function<void(Mode&, DriftContext&)>>;

    CuedModeRig(std::unique_ptr<Mode> prepared, const DriftContext& drift, const std::vector<Cue>& cues)
        : mode(std::move(prepared)), drift(drift), cues(&cues)
    {}

    int SamplesToNextEvent() const
    {
        int next = std::numeric_limits<int>::max();
        for (const auto& cue : *cues)
            if (cue.first > position)
                next = std::min(next, cue.first - position);
        return next;
    }

    void Process(float* left, float* right, int n)
    {
        for (const auto& cue : *cues)
            if (cue.first == position)
                cue.second(*mode, drift);
        mode->Process(left, right, n, drift);
        position += n;
    }

private:
    std::unique_ptr<Mode> mode;
    DriftContext drift;
    const std::vector<Cue>* cues;
    int position = 0;
};

// A scene rendered in runs of every length against one-sample calls, then a
// window of one-sample calls on both to show any state the runs left apart.
// makeRig() builds a fresh rig at the scene's start.
template <class MakeRig>
void ExpectRunsMatchSingleSamples(MakeRig makeRig, const Stereo& input)
{
    auto reference = makeRig();
    Stereo expected = input;
    Render(reference, expected, 1);
    Stereo expectedTail = TailInput();
    Render(reference, expectedTail, 1);

    for (int runLength : RunLengths()) {
        SCOPED_TRACE(testing::Message() << "run length " << runLength);
        auto rig = makeRig();
        Stereo out = input;
        Render(rig, out, runLength);
        EXPECT_EQ(FirstDifference(out.left, expected.left), -1);
        EXPECT_EQ(FirstDifference(out.right, expected.right), -1);
        Stereo tail = TailInput();
        Render(rig, tail, 1);
        EXPECT_EQ(FirstDifference(tail.left, expectedTail.left), -1) << "state differs after the scene";
        EXPECT_EQ(FirstDifference(tail.right, expectedTail.right), -1) << "state differs after the scene";
    }
}

} // namespace chunked_render
