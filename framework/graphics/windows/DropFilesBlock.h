#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace iplug::igraphics {

// A movable global block holding a DROPFILES record for one file: the record, the path
// in UTF-16 with backslashes only and a double terminator, which ends the file list. The clipboard and the
// drag-out data object both hand this block over. Null when the path does not convert
// or the memory is refused; the caller owns the block.
HGLOBAL MakeDropFilesBlock(const char* utf8Path);

} // namespace iplug::igraphics
