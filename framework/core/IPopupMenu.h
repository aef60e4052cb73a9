#pragma once

#include "framework/core/PointerList.h"
#include "framework/core/TextBuffer.h"

#include <functional>
#include <initializer_list>

namespace iplug::igraphics {

class IPopupMenu;
using IPopupMenuCallback = std::function<void(IPopupMenu*)>;

// A menu description: entries with texts, flags, tags and owned submenus, a number
// style for item prefixes and, after it was shown, the chosen entry.
class IPopupMenu
{
public:
    enum NumberStyle : int
    {
        kNumberNone = 0,
        kNumber1d = 1,
        kNumber2d = 2,
        kNumber3d = 3
    };

    enum EntryFlags : int
    {
        kGreyed = 1,
        kNotSelectable = 2,
        kChecked = 4,
        kSeparator = 8,
    };

    // Index arguments of AddEntry besides a plain position.
    static constexpr int kAppend = -1;
    static constexpr int kSorted = -2;

    class Entry
    {
    public:
        explicit Entry(const char* text, int flags = 0, int tag = -1);
        // Takes ownership of submenu.
        Entry(const char* text, IPopupMenu* submenu);
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

        bool IsGreyed() const { return flags & kGreyed; }
        bool IsSelectable() const { return !(flags & (kGreyed | kNotSelectable)); }
        bool IsChecked() const { return flags & kChecked; }
        bool IsSeparator() const { return flags & kSeparator; }
        IPopupMenu* GetSubmenu() const { return submenu; }
        int GetTag() const { return tag; }
        int GetFlags() const { return flags; }
        const char* GetText() const { return text.Get(); }
        void SetText(const char* newText) { text.Set(newText); }
        void SetChecked(bool checked) { flags = checked ? (flags | kChecked) : (flags & ~kChecked); }
        void SetTag(int newTag) { tag = newTag; }

    private:
        TextBuffer text;
        IPopupMenu* submenu = nullptr;
        int flags = 0;
        int tag = -1;
    };

    explicit IPopupMenu(const char* title = nullptr, int numberStyle = kNumberNone, bool optionFlag = false,
                        std::initializer_list<const char*> items = {});
    ~IPopupMenu();
    IPopupMenu(const IPopupMenu&) = delete;
    IPopupMenu& operator=(const IPopupMenu&) = delete;

    // index kAppend appends, kSorted inserts in case-insensitive text order, any other
    // index inserts there clamped to 0..count. Takes ownership; always returns entry.
    Entry* AddEntry(Entry* entry, int index = kAppend);
    // Deletes every entry (last first); resetAll also clears choice, number style and option.
    void Clear(bool resetAll = true);

    int NItems() const { return entries.Count(); }
    // Null for any index outside 0..NItems-1.
    Entry* GetItem(int index) const { return entries.Get(index); }
    void SetChosenIndex(int index) { chosenIndex = index; }
    int GetChosenIndex() const { return chosenIndex; }
    Entry* GetChosenItem() const { return entries.Get(chosenIndex); }

    int GetItemsPerColumn() const { return itemsPerColumn; }
    int GetNumberStyle() const { return numberStyle; }
    void SetNumberStyle(int style) { numberStyle = style; }
    bool GetOptionFlag() const { return optionFlag; }
    const char* GetTitle() const { return title.Get(); }
    void SetTitle(const char* text) { title.Set(text); }
    const IPopupMenuCallback& GetCallback() const { return callback; }
    void SetCallback(IPopupMenuCallback fn) { callback = std::move(fn); }

private:
    int itemsPerColumn = 0;
    int numberStyle = kNumberNone;
    int chosenIndex = -1;
    bool optionFlag = false;
    PointerList<Entry> entries;
    IPopupMenuCallback callback;
    TextBuffer title;
};

} // namespace iplug::igraphics
