#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "framework/core/IPopupMenu.h"
#include "framework/core/WideTextBuffer.h"

namespace iplug::igraphics {

// Native popup menus made from an IPopupMenu tree. Entries are numbered from 0: a menu's
// entries take the next ids in order, then each submenu (depth first) numbers its own
// after them, so the id WM_COMMAND brings back leads to exactly one menu and entry.
class NativeMenu
{
public:
    // Builds the native menu (owned by the caller: DestroyMenu), null when it cannot
    // be created. nextId advances past every id of the tree.
    static HMENU Build(const IPopupMenu& menu, int& nextId);
    // The menu of the tree that owns id, with the entry's index in it; null when no
    // entry has that id.
    static IPopupMenu* FindById(IPopupMenu& menu, int id, int& index);
    // The text an entry shows: the number prefix of the menu's number style (cut to 50
    // characters), every '&' doubled so that it shows instead of marking a mnemonic.
    static WideTextBuffer EntryText(const IPopupMenu& menu, int index);
    // Marks the chosen entry and runs the menu's callback; answers the menu chosen in,
    // or null when id is none of the tree's.
    static IPopupMenu* Choose(IPopupMenu& menu, int id);

private:
    static IPopupMenu* FindById(IPopupMenu& menu, int id, int& index, int& nextId);
};

} // namespace iplug::igraphics
