#pragma once

#include "framework/core/GrowBuffer.h"

namespace iplug {

// The bypass delay line: nInputs channels of length samples, channel c at offset c * length.
struct LatencyDelay
{
    GrowBuffer buffer{4096};
    int nInputs = 0;
    int nOutputs = 0;
    int writePos = 0;
    int length = 0;

    double* Samples() { return reinterpret_cast<double*>(buffer.Data()); }
};

} // namespace iplug
