#include "framework/core/IBusLayout.h"

namespace iplug {

IBusLayout::~IBusLayout()
{
    inputBuses.DeleteAll();
    outputBuses.DeleteAll();
}

} // namespace iplug
