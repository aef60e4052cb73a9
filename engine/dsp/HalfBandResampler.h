#pragma once
#include "engine/dsp/EngineMath.h"

// One 2x stage of a polyphase half-band resampler, up and down, for one channel.
// Only the odd phase carries taps; the even phase of a half-band filter is a
// single centre tap of 0.5, so it reduces to a plain delay of Taps / 2 samples.
// Both directions have the same latency: Taps - 1 samples at the high rate.
// Sample is a double for one channel or a StereoDouble for two side by side.
template <int Taps, class Sample = double>
class HalfBandResampler
{
    static_assert(Taps >= 2 && Taps % 2 == 0, "half-band odd phase has an even tap count");

public:
    static constexpr int kDelay = Taps / 2;

    explicit HalfBandResampler(const double (&oddTaps)[Taps]) : taps(oddTaps) {}

    void Clear()
    {
        for (int k = 0; k < 2 * Taps; ++k) {
            upHistory[k] = Sample(0.0);
            downHistory[k] = Sample(0.0);
        }
        for (int k = 0; k < kDelay; ++k)
            downDelay[k] = Sample(0.0);
        upIndex = 0;
        downIndex = 0;
        delayIndex = 0;
    }

    // One low-rate sample in, two high-rate samples out (filtered phase first).
    void Up(Sample x, Sample& first, Sample& second)
    {
        upIndex = upIndex == 0 ? Taps - 1 : upIndex - 1;
        Push(upHistory, upIndex, x);
        first = 2.0 * Convolve(upHistory + upIndex);
        second = upHistory[upIndex + kDelay - 1];
    }

    // Two high-rate samples in (in time order), one low-rate sample out.
    Sample Down(Sample first, Sample second)
    {
        downIndex = downIndex == 0 ? Taps - 1 : downIndex - 1;
        Push(downHistory, downIndex, first);
        const Sample delayed = downDelay[delayIndex];
        downDelay[delayIndex] = second;
        delayIndex = delayIndex + 1 == kDelay ? 0 : delayIndex + 1;
        return Convolve(downHistory + downIndex) + 0.5 * delayed;
    }

    // Runs of n low-rate samples up: 2n high-rate samples out, as n calls of Up.
    // `in` and `out` must not overlap; n is at most kMaxRun.
    void UpRun(const Sample* in, int n, Sample* out)
    {
        // A lone sample is cheaper through the ring than through a staged line.
        if (n == 1) {
            Up(in[0], out[0], out[1]);
            return;
        }
        Sample line[Taps + kMaxRun];
        for (int k = 0; k < Taps; ++k)
            line[Taps - 1 - k] = upHistory[upIndex + k];
        for (int i = 0; i < n; ++i)
            line[Taps + i] = in[i];
        // line[Taps - 1 + i] is the newest sample of the call for in[i].
        for (int i = 0; i < n; ++i) {
            const Sample* oldest = line + i + 1;
            out[2 * i] = 2.0 * ConvolveOldestFirst(oldest);
            out[2 * i + 1] = oldest[Taps - kDelay];
        }
        StoreHistory(upHistory, upIndex, line + n);
    }

    // Runs of n pairs of high-rate samples (in time order) down: n low-rate samples.
    void DownRun(const Sample* in, int n, Sample* out)
    {
        if (n <= 0)
            return;
        if (n == 1) {
            out[0] = Down(in[0], in[1]);
            return;
        }
        Sample line[Taps - 1 + kMaxRun];
        for (int k = 0; k < Taps - 1; ++k)
            line[Taps - 2 - k] = downHistory[downIndex + k];
        for (int i = 0; i < n; ++i)
            line[Taps - 1 + i] = in[2 * i];
        Sample seconds[kDelay + kMaxRun];
        for (int k = 0; k < kDelay; ++k)
            seconds[k] = downDelay[(delayIndex + k) % kDelay];
        for (int i = 0; i < n; ++i)
            seconds[kDelay + i] = in[2 * i + 1];
        for (int i = 0; i < n; ++i)
            out[i] = ConvolveOldestFirst(line + i) + 0.5 * seconds[i];
        StoreHistory(downHistory, downIndex, line + n - 1);
        for (int k = 0; k < kDelay; ++k)
            downDelay[k] = seconds[n + k];
        delayIndex = 0;
    }

    static constexpr int kMaxRun = 128;

private:
    // The ring from time-ordered samples: oldestFirst[Taps - 1] is the newest.
    static void StoreHistory(Sample (&history)[2 * Taps], int& index, const Sample* oldestFirst)
    {
        index = 0;
        for (int k = 0; k < Taps; ++k)
            Push(history, k, oldestFirst[Taps - 1 - k]);
    }

    // Convolve over samples held oldest first: the same terms, added in the same order.
    Sample ConvolveOldestFirst(const Sample* oldestFirst) const
    {
        const Sample* newest = oldestFirst + Taps - 1;
        Sample sum(0.0);
        if constexpr (EngineMath::kReferenceMaths) {
            for (int k = 0; k < Taps; ++k)
                sum += taps[k] * newest[-k];
        } else {
            for (int k = 0; k < Taps / 2; ++k)
                sum += taps[k] * (newest[-k] + oldestFirst[k]);
        }
        return sum;
    }

    // Each history holds its ring twice in a row, so the Taps samples from the
    // newest one on are always contiguous and the filter loop needs no wrap.
    static void Push(Sample (&history)[2 * Taps], int index, Sample x)
    {
        history[index] = x;
        history[index + Taps] = x;
    }

    // Newest sample first, older ones following it. The taps of a linear-phase
    // half-band filter are symmetric, so the fast form adds the two samples that
    // share a tap first: half the multiplications, rounded a little differently.
    Sample Convolve(const Sample* newestFirst) const
    {
        Sample sum(0.0);
        if constexpr (EngineMath::kReferenceMaths) {
            for (int k = 0; k < Taps; ++k)
                sum += taps[k] * newestFirst[k];
        } else {
            for (int k = 0; k < Taps / 2; ++k)
                sum += taps[k] * (newestFirst[k] + newestFirst[Taps - 1 - k]);
        }
        return sum;
    }

    const double* taps;
    Sample upHistory[2 * Taps] = {};
    Sample downHistory[2 * Taps] = {};
    Sample downDelay[kDelay] = {};
    int upIndex = 0;
    int downIndex = 0;
    int delayIndex = 0;
};
