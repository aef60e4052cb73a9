#include "framework/core/IPopupMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using iplug::igraphics::IPopupMenu;

namespace {

std::vector<std::string> Texts(const IPopupMenu& menu)
{
    std::vector<std::string> out;
    for (int i = 0; i < menu.NItems(); ++i)
        out.push_back(menu.GetItem(i)->GetText());
    return out;
}

TEST(IPopupMenu, ConstructedFromAListOfTexts)
{
    IPopupMenu menu("Presets", IPopupMenu::kNumber2d, true, {"one", "two", nullptr});
    EXPECT_STREQ(menu.GetTitle(), "Presets");
    EXPECT_EQ(menu.GetChosenIndex(), -1);
    EXPECT_EQ(menu.GetChosenItem(), nullptr);
    ASSERT_EQ(menu.NItems(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(menu.GetItem(i)->GetTag(), -1);
        EXPECT_EQ(menu.GetItem(i)->GetFlags(), 0);
    }
    EXPECT_STREQ(menu.GetItem(2)->GetText(), "");
    EXPECT_EQ(menu.GetItem(3), nullptr);
    EXPECT_EQ(menu.GetItem(-1), nullptr);

    IPopupMenu untitled;
    EXPECT_STREQ(untitled.GetTitle(), "");
}

TEST(IPopupMenu, SortedInsertionIgnoresLetterCase)
{
    IPopupMenu menu;
    for (const char* text : {"b", "A", "c"})
        menu.AddEntry(new IPopupMenu::Entry(text), IPopupMenu::kSorted);
    EXPECT_EQ(Texts(menu), (std::vector<std::string>{"A", "b", "c"}));
    // An equal text is placed directly before the entry it matched.
    menu.AddEntry(new IPopupMenu::Entry("B", 0, 7), IPopupMenu::kSorted);
    EXPECT_EQ(Texts(menu), (std::vector<std::string>{"A", "B", "b", "c"}));
    EXPECT_EQ(menu.GetItem(1)->GetTag(), 7);
    menu.AddEntry(new IPopupMenu::Entry("zz"), IPopupMenu::kSorted);
    menu.AddEntry(new IPopupMenu::Entry("_"), IPopupMenu::kSorted);
    EXPECT_EQ(Texts(menu).back(), "zz");
}

TEST(IPopupMenu, PositionalInsertionIsClamped)
{
    const struct
    {
        int index;
        std::vector<std::string> expected;
    } cases[] = {
        {99, {"x", "y", "new"}},
        {-5, {"new", "x", "y"}},
        {1, {"x", "new", "y"}},
        {IPopupMenu::kAppend, {"x", "y", "new"}},
    };
    for (const auto& c : cases) {
        IPopupMenu menu(nullptr, 0, false, {"x", "y"});
        auto* entry = new IPopupMenu::Entry("new");
        EXPECT_EQ(menu.AddEntry(entry, c.index), entry);
        EXPECT_EQ(Texts(menu), c.expected) << c.index;
    }
}

TEST(IPopupMenu, ClearResetsOnlyWhenAsked)
{
    IPopupMenu menu("t", IPopupMenu::kNumber3d, true, {"a", "b"});
    menu.SetChosenIndex(1);
    EXPECT_STREQ(menu.GetChosenItem()->GetText(), "b");
    menu.Clear(false);
    EXPECT_EQ(menu.NItems(), 0);
    EXPECT_EQ(menu.GetChosenIndex(), 1);
    EXPECT_EQ(menu.GetNumberStyle(), IPopupMenu::kNumber3d);
    EXPECT_EQ(menu.GetChosenItem(), nullptr);

    menu.AddEntry(new IPopupMenu::Entry("c"));
    menu.Clear(true);
    EXPECT_EQ(menu.NItems(), 0);
    EXPECT_EQ(menu.GetChosenIndex(), -1);
    EXPECT_EQ(menu.GetNumberStyle(), IPopupMenu::kNumberNone);
    EXPECT_FALSE(menu.GetOptionFlag());
}

TEST(IPopupMenu, EntryFlags)
{
    const struct
    {
        int flags;
        bool greyed, selectable, checked, separator;
    } cases[] = {
        {0, false, true, false, false},
        {IPopupMenu::kGreyed, true, false, false, false},
        {IPopupMenu::kNotSelectable, false, false, false, false},
        {IPopupMenu::kChecked, false, true, true, false},
        {IPopupMenu::kSeparator, false, true, false, true},
        {IPopupMenu::kChecked | IPopupMenu::kGreyed, true, false, true, false},
    };
    for (const auto& c : cases) {
        IPopupMenu::Entry entry("e", c.flags, 3);
        EXPECT_EQ(entry.IsGreyed(), c.greyed) << c.flags;
        EXPECT_EQ(entry.IsSelectable(), c.selectable) << c.flags;
        EXPECT_EQ(entry.IsChecked(), c.checked) << c.flags;
        EXPECT_EQ(entry.IsSeparator(), c.separator) << c.flags;
    }
    IPopupMenu::Entry fromNull(nullptr);
    EXPECT_STREQ(fromNull.GetText(), "");
}

TEST(IPopupMenu, OwnsNestedSubmenus)
{
    // Three levels; the sanitizer build reports anything not freed.
    auto* deepest = new IPopupMenu(nullptr, 0, false, {"leaf"});
    auto* middle = new IPopupMenu();
    middle->AddEntry(new IPopupMenu::Entry("deeper", deepest));
    {
        IPopupMenu top;
        auto* entry = top.AddEntry(new IPopupMenu::Entry("more", middle));
        EXPECT_EQ(entry->GetSubmenu(), middle);
        EXPECT_EQ(entry->GetTag(), -1);
        EXPECT_EQ(top.GetItem(0)->GetSubmenu()->GetItem(0)->GetSubmenu()->GetItem(0)->GetText(), std::string("leaf"));
    }
}

} // namespace
