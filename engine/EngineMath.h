#pragma once
#include <cmath>
#include <limits>

namespace EngineMath {

// "Rounded to the nearest integer" everywhere in the engine and the panel: halves
// go away from zero, so 2.5 -> 3 and -2.5 -> -3. Values beyond the int range
// saturate and NaN gives 0, because the plain cast is undefined for them.
inline int RoundToInt(double value)
{
    if (!(value == value))
        return 0;
    const double rounded = std::round(value);
    if (rounded >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

} // namespace EngineMath
