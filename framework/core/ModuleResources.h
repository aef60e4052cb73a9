#pragma once

#include "framework/core/TextBuffer.h"
#include "framework/core/WideTextBuffer.h"

namespace iplug {

// Where a named image or font lives.
enum ResourceLocation : int
{
    kNotFound = 0,
    kFoundFile = 1,
    kFoundResource = 2,
};

// Process-wide handle of the module that holds the embedded resources (the plug-in
// module's own handle, or the program's). Null until set.
void* ModuleInstance();
void SetModuleInstance(void* module);

// Records the handle of the module this code is linked into as ModuleInstance.
// Always true.
bool ModuleInitHook();

// Looks for an embedded resource of the (upper-cased) type whose quoted name matches
// name without regard to letter case; then for a file at the path name. On success
// location receives the resource name as stored (quotes included) or the path; on
// kNotFound it is left untouched. Natively there are no embedded resources.
ResourceLocation FindResourceOrFile(const char* name, const char* type, TextBuffer& location, void* module);

// Bytes of an embedded resource, valid for the module's life; null when absent or
// shorter than 8 bytes. size is written only when the resource was found.
const void* LoadModuleResource(const char* name, const char* type, int& size, void* module);

// Copy of the text in UTF-16 with a-z turned into A-Z.
WideTextBuffer UpperCaseWideText(const char* text);

} // namespace iplug
