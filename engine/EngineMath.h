#pragma once
#include <cmath>

namespace EngineMath {

// "Rounded to the nearest integer" everywhere in the engine and the panel: halves
// go away from zero, so 2.5 -> 3 and -2.5 -> -3.
inline int RoundToInt(double value)
{
    return static_cast<int>(std::round(value));
}

} // namespace EngineMath
