#include "framework/graphics/windows/NativeMenu.h"

#include <cstdio>
#include <string>

namespace iplug::igraphics {

namespace {

constexpr int kMaxPrefixedLength = 50;
// Column breaks apply only to menus shorter than this.
constexpr int kMaxEntriesForColumns = 160;

// Cuts UTF-8 text at no more than maxBytes without splitting a character.
void CutUtf8(std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
}

} // namespace

WideTextBuffer NativeMenu::EntryText(const IPopupMenu& menu, int index)
{
    const IPopupMenu::Entry* entry = menu.GetItem(index);
    std::string text = entry ? entry->GetText() : "";
    static const char* const kFormats[] = {nullptr, "%1d: ", "%02d: ", "%03d: "};
    const int style = menu.GetNumberStyle();
    if (style >= 1 && style <= 3) {
        char prefix[32];
        snprintf(prefix, sizeof prefix, kFormats[style], index + 1);
        text = prefix + text;
        CutUtf8(text, kMaxPrefixedLength);
    }
    std::string escaped;
    for (char c : text) {
        escaped += c;
        if (c == '&')
            escaped += '&';
    }
    return WideTextBuffer(escaped.c_str());
}

HMENU NativeMenu::Build(const IPopupMenu& menu, int& nextId)
{
    HMENU native = CreatePopupMenu();
    if (!native)
        return nullptr;
    const int base = nextId;
    const int count = menu.NItems();
    nextId += count;
    const int perColumn = menu.GetItemsPerColumn();
    for (int i = 0; i < count; ++i) {
        const IPopupMenu::Entry* entry = menu.GetItem(i);
        if (entry->IsSeparator()) {
            AppendMenuW(native, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const WideTextBuffer text = EntryText(menu, i);
        UINT flags = MF_STRING;
        if (count < kMaxEntriesForColumns && perColumn > 0 && i > 0 && i % perColumn == 0)
            flags |= MF_MENUBARBREAK;
        if (entry->GetFlags() & IPopupMenu::kGreyed)
            flags |= MF_GRAYED;
        if (entry->GetFlags() & IPopupMenu::kNotSelectable)
            flags |= MF_DISABLED;
        if (entry->IsChecked())
            flags |= MF_CHECKED;
        if (const IPopupMenu* submenu = entry->GetSubmenu()) {
            if (HMENU nativeSub = Build(*submenu, nextId))
                AppendMenuW(native, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(nativeSub), text.GetW());
        } else {
            AppendMenuW(native, flags, static_cast<UINT_PTR>(base + i), text.GetW());
        }
    }
    return native;
}

IPopupMenu* NativeMenu::FindById(IPopupMenu& menu, int id, int& index)
{
    int nextId = 0;
    return FindById(menu, id, index, nextId);
}

IPopupMenu* NativeMenu::FindById(IPopupMenu& menu, int id, int& index, int& nextId)
{
    const int base = nextId;
    const int count = menu.NItems();
    nextId += count;
    if (id >= base && id < base + count) {
        index = id - base;
        return &menu;
    }
    for (int i = 0; i < count; ++i) {
        const IPopupMenu::Entry* entry = menu.GetItem(i);
        if (entry->IsSeparator() || !entry->GetSubmenu())
            continue;
        if (IPopupMenu* found = FindById(*entry->GetSubmenu(), id, index, nextId))
            return found;
    }
    return nullptr;
}

IPopupMenu* NativeMenu::Choose(IPopupMenu& menu, int id)
{
    int index = -1;
    IPopupMenu* chosen = FindById(menu, id, index);
    if (!chosen)
        return nullptr;
    chosen->SetChosenIndex(index);
    if (const IPopupMenuCallback& callback = chosen->GetCallback())
        callback(chosen);
    return chosen;
}

} // namespace iplug::igraphics
