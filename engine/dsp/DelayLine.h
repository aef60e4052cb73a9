#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/SincTable.h"

// The engine's one ring of history: frames of `Channels` floats side by side
// (a stereo frame's left and right share a cache line), a write slot that wraps
// at the end, and reads at positions between frames. The owner keeps the clock
// (frames written since its last reset) with the rest of its state; a read takes
// a DelayLineView, a snapshot of the line at one clock, so that a run of reads
// converts the clock and the length once rather than once per read.

// One frame as a read returns it: each channel in double precision.
template <int Channels>
struct DelayFrame;

template <>
struct DelayFrame<1>
{
    double value = 0.0;
};

template <>
struct DelayFrame<2>
{
    double left = 0.0;
    double right = 0.0;
};

// A look at a line as one sample sees it. Position p on the clock lives at slot
// writeIndex - (clock - p), wrapped; the newest frame is at position clock - 1.
// The view owns nothing.
template <int Channels>
struct DelayLineView
{
    using Frame = DelayFrame<Channels>;

    const float* samples = nullptr;
    std::ptrdiff_t length = 0; // frames
    std::ptrdiff_t writeIndex = 0;
    double clock = 0.0;
    double span = 0.0; // length as a double

    // How far ahead of a read the next cache line is asked for; see ReadBack.
    static constexpr std::uintptr_t kPrefetchBytes = 16 * 2 * sizeof(float);

    DelayLineView() = default;
    DelayLineView(const float* frames, std::ptrdiff_t frameCount, std::ptrdiff_t slot, double now)
        : samples(frames), length(frameCount), writeIndex(slot), clock(now), span(static_cast<double>(frameCount))
    {}

    const float* FrameAt(std::ptrdiff_t slot) const { return samples + Channels * slot; }

    // Linear interpolation between two slots, as each slot weighted: a(1 - f) + b f.
    Frame Blend(std::ptrdiff_t i, std::ptrdiff_t j, double frac) const
    {
        const float* a = FrameAt(i);
        const float* b = FrameAt(j);
        if constexpr (Channels == 1)
            return {a[0] * (1.0 - frac) + b[0] * frac};
        else
            return {a[0] * (1.0 - frac) + b[0] * frac, a[1] * (1.0 - frac) + b[1] * frac};
    }

    // Linear interpolation between two slots as a step from the first: a + (b - a) f.
    Frame Step(const float* a, const float* b, double frac) const
    {
        if constexpr (Channels == 1)
            return {a[0] + (b[0] - a[0]) * frac};
        else
            return {a[0] + (b[0] - a[0]) * frac, a[1] + (b[1] - a[1]) * frac};
    }

    // A read of what has been written only: silence before the clock's start, at
    // or after the clock and where the line has since overwritten the frame; the
    // newest frame is not blended towards the slot after it. Inline: a tap sum
    // makes hundreds of these per sample.
    Frame ReadWritten(double x) const
    {
        if (!(x >= 0.0) || x >= clock)
            return {};
        const double whole = std::floor(x);
        const double age = clock - whole; // 1 for the newest frame
        if (age >= span)
            return {};
        return ReadBack(static_cast<std::ptrdiff_t>(age), x - whole, age >= 2.0);
    }

    // ReadWritten of a position the caller knows to lie inside the written frames
    // and at least two frames behind the writer, without the checks: a tap sum
    // that has checked its oldest tap once reads the rest this way.
    Frame ReadWrittenInside(double x) const
    {
        const double whole = std::floor(x);
        return ReadBack(static_cast<std::ptrdiff_t>(clock - whole), x - whole, true);
    }

private:
    // The frame `back` slots behind the writer (1 is the newest), blended by
    // `fraction` towards the one after it unless that one is yet to be written.
    Frame ReadBack(std::ptrdiff_t back, double fraction, bool blendNext) const
    {
        const std::ptrdiff_t i = writeIndex >= back ? writeIndex - back : writeIndex + length - back;
        const std::ptrdiff_t j = !blendNext ? i : (i + 1 == length ? 0 : i + 1);
        const float* a = FrameAt(i);
        // A reader moving forward through the line at some speed, one of many
        // streams, would outrun the processor's own prefetcher: asking two cache
        // lines ahead lets the next line arrive while this frame is used. A
        // prefetch never faults, so near the end of the line it may ask past it
        // rather than pay for the wrap on every read.
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(a) + kPrefetchBytes));
        return Step(a, FrameAt(j), fraction);
    }
};

// Ring index (with fraction) of an absolute position. Positions outside the ring
// wrap instead of indexing past it; a non-finite position gives -1.
template <int Channels>
inline double RingIndex(const DelayLineView<Channels>& ring, double position)
{
    const double length = static_cast<double>(ring.length);
    double f = ring.writeIndex - (ring.clock - position);
    if (f < 0.0)
        f += length;
    if (f >= 0.0 && f < length)
        return f;
    if (!std::isfinite(f))
        return -1.0;
    f = std::fmod(f, length);
    if (f < 0.0)
        f += length;
    return f < length ? f : 0.0;
}

// Linear interpolation between the two slots around a position, wrapping
// positions outside the ring. Inline: the loop voices read twice per sample each.
template <int Channels>
inline DelayFrame<Channels> ReadLinearFrame(const DelayLineView<Channels>& ring, double position)
{
    if (ring.length < 1 || ring.samples == nullptr)
        return {};
    const double f = RingIndex(ring, position);
    if (f < 0.0)
        return {};
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(f);
    const std::ptrdiff_t j = i + 1 >= ring.length ? 0 : i + 1;
    return ring.Blend(i, j, f - static_cast<double>(i));
}

// ReadLinearFrame of a mono ring, rounded to a sample.
inline float ReadLinear(const DelayLineView<1>& ring, double position)
{
    return static_cast<float>(ReadLinearFrame(ring, position).value);
}

// Where a windowed-sinc read takes its taps: the age of the slot at or before
// the position (1 is the newest sample) and the blend u between the table's two
// rows around the position's fraction.
struct SincPlace
{
    int age = 0;
    double u = 0.0;
    const double* rowA = nullptr;
    const double* rowB = nullptr;

    double Weight(int k) const { return (1.0 - u) * rowA[k] + u * rowB[k]; }

    // How far back tap 0 lies; tap k lies k slots later.
    int FirstDelay(const SincTable& table) const { return table.halfWidth - 1 + age; }

    // The ring slot of tap k; a tap past either end of the ring reads the end slot.
    template <int Channels>
    std::ptrdiff_t HeldTapIndex(const DelayLineView<Channels>& ring, const SincTable& table, int k) const
    {
        std::ptrdiff_t delay = FirstDelay(table) - k;
        if (delay < 1)
            delay = 1;
        else if (delay > ring.length - 1)
            delay = ring.length - 1;
        const std::ptrdiff_t index = ring.writeIndex - delay;
        return index < 0 ? index + ring.length : index;
    }
};

// False when the ring or the table cannot serve a read or the position is not finite.
template <int Channels>
inline bool FindSincPlace(const DelayLineView<Channels>& ring, double position, const SincTable& table,
                          SincPlace& place)
{
    const std::ptrdiff_t length = ring.length;
    if (length < 2 || ring.samples == nullptr || table.halfWidth < 1)
        return false;
    const double f = RingIndex(ring, position);
    if (f < 0.0)
        return false;
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(f);
    std::ptrdiff_t age = ring.writeIndex - i;
    if (age < 1)
        age += length;
    place.age = static_cast<int>(age);

    const double g = (f - static_cast<double>(i)) * SincTable::kPhases;
    int phase = static_cast<int>(g);
    if (phase > SincTable::kPhases - 1)
        phase = SincTable::kPhases - 1;
    place.u = g - phase;
    place.rowA = table.Row(phase);
    place.rowB = table.Row(phase + 1);
    return true;
}

// Adds one tap of every channel of a frame to the channels' sums.
template <int Channels>
inline void AddSincTap(double (&sum)[Channels], double weight, const float* frame)
{
    for (int c = 0; c < Channels; ++c)
        sum[c] += weight * frame[c];
}

// Windowed-sinc interpolation of every channel of a frame, unrounded: the taps'
// places and weights depend only on the line's geometry, so they are worked out
// once for all channels. Taps that would lie after the newest written frame
// read the newest frame instead. Inline: a loop voice reading faster than real
// time makes one of these per sample.
template <int Channels>
inline DelayFrame<Channels> ReadSincFrame(const DelayLineView<Channels>& ring, double position, const SincTable& table)
{
    SincPlace place;
    if (!FindSincPlace(ring, position, table, place))
        return {};
    const int taps = table.TapCount();
    double sum[Channels] = {};
    const std::ptrdiff_t firstDelay = place.FirstDelay(table);
    if (firstDelay - (taps - 1) >= 1 && firstDelay <= ring.length - 1) {
        // No tap is held at either end of the ring: the taps are consecutive
        // slots, wrapping at most once.
        std::ptrdiff_t start = ring.writeIndex - firstDelay;
        if (start < 0)
            start += ring.length;
        const int beforeWrap = static_cast<int>(std::min<std::ptrdiff_t>(taps, ring.length - start));
        const float* first = ring.FrameAt(start);
        for (int k = 0; k < beforeWrap; ++k)
            AddSincTap(sum, place.Weight(k), first + Channels * k);
        for (int k = beforeWrap; k < taps; ++k)
            AddSincTap(sum, place.Weight(k), ring.FrameAt(k - beforeWrap));
    } else {
        for (int k = 0; k < taps; ++k)
            AddSincTap(sum, place.Weight(k), ring.FrameAt(place.HeldTapIndex(ring, table, k)));
    }
    if constexpr (Channels == 1)
        return {sum[0]};
    else
        return {sum[0], sum[1]};
}

// Windowed-sinc interpolation with a table from GetSincTable. Taps that would lie
// after the newest written sample read the newest sample instead.
float ReadSinc(const DelayLineView<1>& ring, double position, const SincTable& table);

// Where a read `delay` frames behind a slot lands on a ring of `length` frames:
// the slot at or before it and the fraction past that slot.
struct DelayTap
{
    std::ptrdiff_t index = 0;
    double fraction = 0.0;
};

inline DelayTap TapBehind(std::ptrdiff_t slot, double delay, std::ptrdiff_t length)
{
    // A delay beyond the ring, or not a number, reads the ring's far end or the
    // slot itself rather than leaving the ring.
    if (!(delay >= 0.0 && delay < static_cast<double>(length)))
        delay = delay >= 0.0 ? static_cast<double>(length - 1) : 0.0;
    double position = slot - delay;
    if (position < 0.0)
        position += length;
    const std::ptrdiff_t index = static_cast<std::ptrdiff_t>(position);
    return {index, position - index};
}

// The slot `offset` frames from a tap's slot, wrapped onto the ring; a tap may
// land on the slot one past the end when rounding carries its position there.
template <int Channels>
inline std::ptrdiff_t SlotNear(const DelayLineView<Channels>& ring, std::ptrdiff_t index, int offset)
{
    std::ptrdiff_t slot = index + offset;
    if (slot < 0)
        slot += ring.length;
    else if (slot >= ring.length)
        slot -= ring.length;
    return slot;
}

// Whether the `count` slots from `first` on lie inside the ring without a wrap;
// a read that finds them so takes them straight from the frames.
template <int Channels>
inline bool SlotsInside(const DelayLineView<Channels>& ring, std::ptrdiff_t first, std::ptrdiff_t count)
{
    return first >= 0 && first + count <= ring.length;
}

// Linear interpolation between a tap's slot and the one after it. Inline: a
// per-sample read.
template <int Channels>
inline DelayFrame<Channels> ReadLinearTap(const DelayLineView<Channels>& ring, const DelayTap& tap)
{
    // One unsigned comparison for both ends: a negative slot turns into a huge
    // one. A ring is never read empty, so the length less one does not wrap.
    if (static_cast<std::size_t>(tap.index) < static_cast<std::size_t>(ring.length) - 1)
        return ring.Blend(tap.index, tap.index + 1, tap.fraction);
    return ring.Blend(SlotNear(ring, tap.index, 0), SlotNear(ring, tap.index, 1), tap.fraction);
}

// Six-point Lagrange interpolation over the slots from two before a tap's slot to
// three after it, its weights worked out once per fraction so that several
// channels or lines read at one place can share them.
class Lagrange6
{
public:
    explicit Lagrange6(double f)
    {
        const double fm3 = f - 3.0, fm2 = f - 2.0, fm1 = f - 1.0, fp1 = f + 1.0, fp2 = f + 2.0;
        weights[0] = EngineMath::Divide(-f * fp1 * fm1 * fm2 * fm3, 120.0);
        weights[1] = EngineMath::Divide(fp2 * f * fm1 * fm2 * fm3, 24.0);
        weights[2] = EngineMath::Divide(fp2 * fp1 * fm1 * fm2 * fm3, 12.0);
        weights[3] = EngineMath::Divide(fp1 * fp2 * f * fm2 * fm3, 12.0);
        weights[4] = EngineMath::Divide(fp2 * fp1 * f * fm1 * fm3, 24.0);
        weights[5] = EngineMath::Divide(fp1 * fp2 * f * fm1 * fm2, 120.0);
    }
    Lagrange6() = default;

    // Inline: a per-sample read.
    double Read(const DelayLineView<1>& ring, std::ptrdiff_t index) const
    {
        if (SlotsInside(ring, index - kBefore, kPoints))
            return Sum(ring.FrameAt(index - kBefore));
        float around[kPoints];
        for (int k = 0; k < kPoints; ++k)
            around[k] = ring.FrameAt(SlotNear(ring, index, k - kBefore))[0];
        return Sum(around);
    }

private:
    static constexpr int kPoints = 6;
    static constexpr int kBefore = 2; // of the points, those before the tap's slot

    // The third and fifth weights are kept as magnitudes and subtract.
    double Sum(const float* s) const
    {
        return weights[0] * s[0] + weights[1] * s[1] - weights[2] * s[2] + weights[3] * s[3] - weights[4] * s[4]
               + weights[5] * s[5];
    }

    double weights[kPoints] = {};
};

// The owner of a line's frames and its write slot.
template <int Channels>
class DelayLine
{
public:
    using View = DelayLineView<Channels>;
    using Frame = DelayFrame<Channels>;

    // `frames` silent frames, the writer at slot 0. False, with the line left
    // empty, when the memory cannot be had.
    bool Allocate(std::size_t frames) { return Size(frames, false); }
    // Resizes to `frames`, keeping the frames that stay and adding silent ones;
    // the writer stays where it was unless the line shrank past it.
    bool Grow(std::size_t frames) { return Size(frames, true); }
    void Release()
    {
        std::vector<float>().swap(samples);
        writeIndex = 0;
    }
    // Silences every frame and puts the writer at slot 0.
    void Clear()
    {
        std::fill(samples.begin(), samples.end(), 0.0f);
        writeIndex = 0;
    }
    // Puts the writer at slot 0 and keeps the frames.
    void Rewind() { writeIndex = 0; }

    std::size_t Length() const { return samples.size() / Channels; }
    bool Empty() const { return samples.empty(); }
    std::size_t WriteIndex() const { return writeIndex; }
    const float* Frames() const { return samples.data(); }
    // The frame in a slot, for filling a span of the line in place.
    float* FrameAt(std::size_t slot) { return samples.data() + Channels * slot; }
    const float* FrameAt(std::size_t slot) const { return samples.data() + Channels * slot; }

    // Writes one frame at the write slot and steps the writer on.
    void Write(const float (&frame)[Channels])
    {
        float* out = FrameAt(writeIndex);
        for (int c = 0; c < Channels; ++c)
            out[c] = frame[c];
        Advance();
    }
    void Advance()
    {
        if (++writeIndex >= Length())
            writeIndex = 0;
    }
    // Steps the writer on by `count` frames without writing; a writer found
    // outside the line (an empty one) starts over at slot 0 on the first step.
    void Skip(std::size_t count)
    {
        const std::size_t slots = Length();
        if (count == 0)
            return;
        if (slots == 0 || writeIndex >= slots) {
            writeIndex = 0;
            --count;
        }
        if (slots > 0)
            writeIndex = (writeIndex + count % slots) % slots;
    }

    // The line as a sample at `clock` sees it.
    View ViewAt(double clock) const
    {
        return View(samples.data(), static_cast<std::ptrdiff_t>(Length()), static_cast<std::ptrdiff_t>(writeIndex),
                    clock);
    }

private:
    bool Size(std::size_t frames, bool keep)
    {
        try {
            if (keep)
                samples.resize(Channels * frames, 0.0f);
            else
                samples.assign(Channels * frames, 0.0f);
            if (!keep || writeIndex >= frames)
                writeIndex = 0;
            return true;
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        Release();
        return false;
    }

    std::vector<float> samples;
    std::size_t writeIndex = 0;
};
