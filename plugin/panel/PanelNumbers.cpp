#include "plugin/panel/PanelNumbers.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace panel {

void FormatNumber(char* buffer, size_t size, const char* format, ...)
{
    if (!buffer || size == 0)
        return;
    char formatted[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(formatted, sizeof formatted, format, args);
    va_end(args);

    const char* point = std::localeconv()->decimal_point;
    std::string text(formatted);
    if (point && *point && std::strcmp(point, ".") != 0) {
        const size_t length = std::strlen(point);
        for (size_t at = text.find(point); at != std::string::npos; at = text.find(point, at + 1))
            text.replace(at, length, ".");
    }
    std::snprintf(buffer, size, "%s", text.c_str());
}

} // namespace panel
