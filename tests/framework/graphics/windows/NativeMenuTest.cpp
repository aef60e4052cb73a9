#include "framework/graphics/windows/NativeMenu.h"

#include <gtest/gtest.h>

#include <string>

namespace iplug::igraphics {
namespace {

std::wstring ItemText(HMENU menu, int position)
{
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

UINT ItemState(HMENU menu, int position)
{
    return GetMenuState(menu, position, MF_BYPOSITION);
}

TEST(NativeMenuTest, EntriesShowTheirNumberPrefixAndAmpersands)
{
    IPopupMenu menu(nullptr, IPopupMenu::kNumber2d, false, {"a", "b", "c", "d", "A&B"});
    menu.AddEntry(new IPopupMenu::Entry("a long preset name that certainly does not fit into fifty characters at all"));
    int next = 0;
    HMENU native = NativeMenu::Build(menu, next);
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(next, 6);
    EXPECT_EQ(ItemText(native, 0), L"01: a");
    // The menu shows "A&&B" as "A&B"; the stored text keeps the doubled ampersand.
    EXPECT_EQ(ItemText(native, 4), L"05: A&&B");
    EXPECT_EQ(ItemText(native, 5).size(), 50u);
    DestroyMenu(native);

    IPopupMenu plain(nullptr, IPopupMenu::kNumberNone, false, {"x&y"});
    EXPECT_EQ(std::u16string(NativeMenu::EntryText(plain, 0).Get()), u"x&&y");
}

TEST(NativeMenuTest, PrefixCutKeepsWholeCharacters)
{
    std::string name(44, 'x');
    name += "\xc3\xa9\xc3\xa9\xc3\xa9"; // three e-acute: the cut falls inside one
    IPopupMenu menu(nullptr, IPopupMenu::kNumber3d, false, {name.c_str()});
    const WideTextBuffer text = NativeMenu::EntryText(menu, 0);
    ASSERT_GT(text.GetLength(), 0) << "a split character would fail the conversion";
    EXPECT_EQ(text.GetLength(), 5 + 44);
}

TEST(NativeMenuTest, FlagsAndSeparatorsBecomeMenuStates)
{
    IPopupMenu menu;
    menu.AddEntry(new IPopupMenu::Entry("greyed", IPopupMenu::kGreyed));
    menu.AddEntry(new IPopupMenu::Entry("-", IPopupMenu::kSeparator));
    menu.AddEntry(new IPopupMenu::Entry("checked", IPopupMenu::kChecked));
    int next = 0;
    HMENU native = NativeMenu::Build(menu, next);
    EXPECT_TRUE(ItemState(native, 0) & MF_GRAYED);
    EXPECT_TRUE(ItemState(native, 1) & MF_SEPARATOR);
    EXPECT_TRUE(ItemState(native, 2) & MF_CHECKED);
    EXPECT_EQ(GetMenuItemID(native, 2), 2u);
    DestroyMenu(native);
}

// ids 0 and 1 belong to the parent, 2 onwards to the submenu; the native items carry
// exactly the ids that FindById resolves.
TEST(NativeMenuTest, SubmenuIdsFollowTheirParentsAndResolveBack)
{
    IPopupMenu menu(nullptr, 0, false, {"first"});
    auto* sub = new IPopupMenu(nullptr, 0, false, {"s0", "s1"});
    auto* subsub = new IPopupMenu(nullptr, 0, false, {"t0"});
    sub->AddEntry(new IPopupMenu::Entry("deeper", subsub));
    menu.AddEntry(new IPopupMenu::Entry("more", sub));
    menu.AddEntry(new IPopupMenu::Entry("last"));

    int next = 0;
    HMENU native = NativeMenu::Build(menu, next);
    EXPECT_EQ(next, 3 + 3 + 1);
    HMENU nativeSub = GetSubMenu(native, 1);
    ASSERT_NE(nativeSub, nullptr);
    EXPECT_EQ(GetMenuItemID(native, 2), 2u);
    EXPECT_EQ(GetMenuItemID(nativeSub, 0), 3u);
    EXPECT_EQ(GetMenuItemID(GetSubMenu(nativeSub, 2), 0), 6u);
    DestroyMenu(native);

    int chosenBySub = -1;
    sub->SetCallback([&](IPopupMenu* m) { chosenBySub = m->GetChosenIndex(); });
    EXPECT_EQ(NativeMenu::Choose(menu, 3), sub);
    EXPECT_EQ(sub->GetChosenIndex(), 0);
    EXPECT_EQ(chosenBySub, 0);
    EXPECT_EQ(NativeMenu::Choose(menu, 6), subsub);
    EXPECT_EQ(NativeMenu::Choose(menu, 2), &menu);
    EXPECT_EQ(menu.GetChosenIndex(), 2);
    EXPECT_EQ(NativeMenu::Choose(menu, 7), nullptr);
}

} // namespace
} // namespace iplug::igraphics
