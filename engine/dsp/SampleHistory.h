#pragma once
#include <vector>

// A channel of recorded samples, many seconds long.
using SampleHistory = std::vector<float>;
