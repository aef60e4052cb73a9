#include "engine/dsp/SincTable.h"

#include <cmath>

#include "engine/dsp/EngineMath.h"

namespace {

using EngineMath::kPi;
constexpr double kKaiserBeta = 5.0;

// Modified Bessel function of the first kind, order 0, as its power series.
double BesselI0(double z)
{
    const double half = z * 0.5;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 40; ++k) {
        const double ratio = half / k;
        term *= ratio * ratio;
        sum += term;
    }
    return sum;
}

struct SincTables
{
    SincTable factor2 = SincTable::Build(2);
    SincTable factor4 = SincTable::Build(4);
};

} // namespace

SincTable SincTable::Build(int factor)
{
    SincTable table;
    const int n = 8 * factor;
    const int taps = 2 * n;
    const double cutoff = 0.45 / factor;
    const double windowNorm = BesselI0(kKaiserBeta);
    table.halfWidth = n;
    table.coefficients.assign(static_cast<size_t>((kPhases + 1) * taps), 0.0);

    for (int p = 0; p <= kPhases; ++p) {
        const double frac = static_cast<double>(p) / kPhases;
        double* row = table.coefficients.data() + p * taps;
        double sum = 0.0;
        for (int k = 0; k < taps; ++k) {
            const double x = (k - n + 1) - frac;
            const double a = 2.0 * cutoff * x;
            const double sinc = std::fabs(a) < 1e-12 ? 1.0 : std::sin(kPi * a) / (kPi * a);
            const double t = x / n;
            const double window = t * t < 1.0 ? BesselI0(kKaiserBeta * std::sqrt(1.0 - t * t)) / windowNorm : 0.0;
            row[k] = 2.0 * cutoff * sinc * window;
            sum += row[k];
        }
        for (int k = 0; k < taps; ++k)
            row[k] /= sum;
    }
    return table;
}

const SincTable& GetSincTable(int factor)
{
    static const SincTables tables;
    return factor < 4 ? tables.factor2 : tables.factor4;
}
