#include "framework/core/IPopupMenu.h"

namespace iplug::igraphics {

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Letter case ignored for A-Z only, so the order does not depend on a locale.
int CompareIgnoringCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const auto ca = static_cast<unsigned char>(LowerAscii(*a));
        const auto cb = static_cast<unsigned char>(LowerAscii(*b));
        if (ca != cb || ca == 0)
            return int(ca) - int(cb);
    }
}

} // namespace

IPopupMenu::Entry::Entry(const char* newText, int newFlags, int newTag) : flags(newFlags), tag(newTag)
{
    text.Set(newText);
}

IPopupMenu::Entry::Entry(const char* newText, IPopupMenu* newSubmenu) : submenu(newSubmenu)
{
    text.Set(newText);
}

IPopupMenu::Entry::~Entry()
{
    delete submenu;
}

IPopupMenu::IPopupMenu(const char* newTitle, int newNumberStyle, bool newOptionFlag,
                       std::initializer_list<const char*> items)
    : numberStyle(newNumberStyle), optionFlag(newOptionFlag)
{
    if (newTitle)
        title.Set(newTitle);
    for (const char* item : items)
        AddEntry(new Entry(item));
}

IPopupMenu::~IPopupMenu()
{
    entries.DeleteAll();
}

IPopupMenu::Entry* IPopupMenu::AddEntry(Entry* entry, int index)
{
    if (!entry)
        return nullptr;
    if (index == kAppend)
        return entries.Append(entry);
    if (index == kSorted) {
        int low = 0;
        int high = entries.Count();
        while (low != high) {
            const int mid = (low + high) / 2;
            const int c = CompareIgnoringCase(entry->GetText(), entries.Get(mid)->GetText());
            if (c == 0) {
                low = mid;
                break;
            }
            if (c < 0)
                high = mid;
            else
                low = mid + 1;
        }
        return entries.InsertAt(low, entry);
    }
    return entries.InsertAt(index, entry);
}

void IPopupMenu::Clear(bool resetAll)
{
    entries.DeleteAll();
    if (resetAll) {
        chosenIndex = -1;
        numberStyle = kNumberNone;
        optionFlag = false;
    }
}

} // namespace iplug::igraphics
