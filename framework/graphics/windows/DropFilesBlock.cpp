#include "framework/graphics/windows/DropFilesBlock.h"

#include "framework/graphics/windows/WinShell.h"

#include <shlobj.h>

#include <cstring>

namespace iplug::igraphics {

HGLOBAL MakeDropFilesBlock(const char* utf8Path)
{
    const std::wstring path = WinShell::NativePath(utf8Path);
    const size_t units = path.size();
    if (units == 0)
        return nullptr;
    // The path's own terminator and the list's terminator.
    const SIZE_T size = sizeof(DROPFILES) + (static_cast<SIZE_T>(units) + 2) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return nullptr;
    auto* record = static_cast<DROPFILES*>(GlobalLock(block));
    if (!record) {
        GlobalFree(block);
        return nullptr;
    }
    record->pFiles = sizeof(DROPFILES);
    record->fNC = TRUE;
    record->fWide = TRUE;
    std::memcpy(reinterpret_cast<uint8_t*>(record) + sizeof(DROPFILES), path.c_str(), units * sizeof(wchar_t));
    GlobalUnlock(block);
    return block;
}

} // namespace iplug::igraphics
