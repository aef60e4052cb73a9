#pragma once
#include <vector>

// Kaiser-windowed sinc interpolation filters for reading a history faster than
// real time without aliasing. One table per interpolation factor (2 and 4); both
// are built once per process and are read-only afterwards, so any number of
// engines on any threads may share them.
struct SincTable
{
    static constexpr int kPhases = 64; // fractional offsets p/64; row 64 is offset 1

    int halfWidth = 0;                // N = 8 x factor
    std::vector<double> coefficients; // (kPhases + 1) rows x 2N taps, row-major

    int TapCount() const { return 2 * halfWidth; }
    const double* Row(int phase) const { return coefficients.data() + phase * TapCount(); }

    // Builds the table for an interpolation factor; each row sums to 1.
    static SincTable Build(int factor);
};

// The shared table for a factor: below 4 the factor-2 table, otherwise factor 4.
// The first call builds both (guarded one-time initialisation; concurrent first
// callers wait). Call it while preparing, so the build never lands on the audio
// thread.
const SincTable& GetSincTable(int factor);
