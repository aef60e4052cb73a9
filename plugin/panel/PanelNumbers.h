#pragma once

#include <cstddef>

namespace panel {

// snprintf whose numbers always use a full stop as decimal separator, whatever the process
// locale says (a host may switch the locale of the whole process).
void FormatNumber(char* buffer, size_t size, const char* format, ...);

} // namespace panel
