#pragma once

// One 2x stage of a polyphase half-band resampler, up and down, for one channel.
// Only the odd phase carries taps; the even phase of a half-band filter is a
// single centre tap of 0.5, so it reduces to a plain delay of Taps / 2 samples.
// Both directions have the same latency: Taps - 1 samples at the high rate.
template <int Taps>
class HalfBandResampler
{
    static_assert(Taps >= 2 && Taps % 2 == 0, "half-band odd phase has an even tap count");

public:
    static constexpr int kDelay = Taps / 2;

    explicit HalfBandResampler(const double (&oddTaps)[Taps]) : taps(oddTaps) {}

    void Clear()
    {
        for (int k = 0; k < Taps; ++k) {
            upHistory[k] = 0.0;
            downHistory[k] = 0.0;
        }
        for (int k = 0; k < kDelay; ++k)
            downDelay[k] = 0.0;
        upIndex = 0;
        downIndex = 0;
        delayIndex = 0;
    }

    // One low-rate sample in, two high-rate samples out (filtered phase first).
    void Up(double x, double& first, double& second)
    {
        upIndex = upIndex == 0 ? Taps - 1 : upIndex - 1;
        upHistory[upIndex] = x;
        first = 2.0 * Convolve(upHistory, upIndex);
        second = upHistory[(upIndex + kDelay - 1) % Taps];
    }

    // Two high-rate samples in (in time order), one low-rate sample out.
    double Down(double first, double second)
    {
        downIndex = downIndex == 0 ? Taps - 1 : downIndex - 1;
        downHistory[downIndex] = first;
        const double delayed = downDelay[delayIndex];
        downDelay[delayIndex] = second;
        delayIndex = delayIndex + 1 == kDelay ? 0 : delayIndex + 1;
        return Convolve(downHistory, downIndex) + 0.5 * delayed;
    }

private:
    // Newest sample at `newest`, older ones following it around the ring.
    double Convolve(const double (&history)[Taps], int newest) const
    {
        double sum = 0.0;
        int index = newest;
        for (int k = 0; k < Taps; ++k) {
            sum += taps[k] * history[index];
            index = index + 1 == Taps ? 0 : index + 1;
        }
        return sum;
    }

    const double* taps;
    double upHistory[Taps] = {};
    double downHistory[Taps] = {};
    double downDelay[kDelay] = {};
    int upIndex = 0;
    int downIndex = 0;
    int delayIndex = 0;
};
