#pragma once

#include "framework/core/IBusSpec.h"
#include "framework/core/PointerList.h"

namespace iplug {

// One channel-I/O configuration: its input and output buses in order; owns them.
struct IBusLayout
{
    IBusLayout() = default;
    ~IBusLayout();
    IBusLayout(const IBusLayout&) = delete;
    IBusLayout& operator=(const IBusLayout&) = delete;

    PointerList<IBusSpec>& Buses(int direction) { return direction == kInput ? inputBuses : outputBuses; }
    const PointerList<IBusSpec>& Buses(int direction) const { return direction == kInput ? inputBuses : outputBuses; }

    PointerList<IBusSpec> inputBuses;
    PointerList<IBusSpec> outputBuses;
};

} // namespace iplug
