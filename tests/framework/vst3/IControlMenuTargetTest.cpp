// The plug-in form of the control base: reference counted, a host context-menu target, and the
// drawing context's host parameter menu built through a stand-in host.

#include "framework/graphics/IHostContextMenuSource.h"
#include "tests/framework/graphics/ControlFixtures.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "public.sdk/source/common/pluginview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace graphicstest;
using namespace Steinberg;
using Lines = std::vector<std::string>;

class CountedControl : public ProbeControl
{
public:
    CountedControl(const IBox& box, int param, bool& gone) : ProbeControl(box, param), gone(gone) {}
    ~CountedControl() override { gone = true; }
    void OnContextItemChosen(int index) override { chosen.push_back(index); }
    bool& gone;
    std::vector<int> chosen;
};

// A host menu that records its items and where it popped up.
class RecordingMenu : public Vst::IContextMenu
{
public:
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++refs; }
    uint32 PLUGIN_API release() override { return --refs; }
    int32 PLUGIN_API getItemCount() override { return int32(items.size()); }
    tresult PLUGIN_API getItem(int32, Item&, Vst::IContextMenuTarget**) override { return kNotImplemented; }
    tresult PLUGIN_API addItem(const Item& item, Vst::IContextMenuTarget* target) override
    {
        items.push_back(item);
        targets.push_back(target);
        return kResultOk;
    }
    tresult PLUGIN_API removeItem(const Item&, Vst::IContextMenuTarget*) override { return kNotImplemented; }
    tresult PLUGIN_API popup(UCoord x, UCoord y) override
    {
        popups.push_back(std::to_string(x) + "," + std::to_string(y));
        return kResultOk;
    }

    int refs = 1;
    std::vector<Item> items;
    std::vector<Vst::IContextMenuTarget*> targets;
    std::vector<std::string> popups;
};

class RecordingHandler : public Vst::IComponentHandler, public Vst::IComponentHandler3
{
public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
    {
        if (withMenus && FUnknownPrivate::iidEqual(iid, Vst::IComponentHandler3::iid)) {
            ++refs;
            *obj = static_cast<Vst::IComponentHandler3*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++refs; }
    uint32 PLUGIN_API release() override { return --refs; }
    tresult PLUGIN_API beginEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(Vst::ParamID, Vst::ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    Vst::IContextMenu* PLUGIN_API createContextMenu(IPlugView* view, const Vst::ParamID* id) override
    {
        lastParam = id ? int(*id) : -1;
        return &menu;
    }

    int refs = 1;
    bool withMenus = true;
    int lastParam = -2;
    RecordingMenu menu;
};

class HostDelegate : public FakeDelegate, public IHostContextMenuSource
{
public:
    Vst::IComponentHandler* GetHostComponentHandler() const override { return handler; }
    IPlugView* GetOpenPlugView() const override { return view; }
    Vst::IComponentHandler* handler = nullptr;
    IPlugView* view = nullptr;
};

std::u16string Text(const Vst::String128 name)
{
    return std::u16string(reinterpret_cast<const char16_t*>(name));
}

TEST(PluginControl, IsAReferenceCountedMenuTarget)
{
    bool gone = false;
    auto* c = new CountedControl(IBox(0, 0, 10, 10), -1, gone);
    EXPECT_EQ(c->getRefCount(), 1u);
    Vst::IContextMenuTarget* target = nullptr;
    ASSERT_EQ(c->queryInterface(Vst::IContextMenuTarget::iid, reinterpret_cast<void**>(&target)), kResultOk);
    EXPECT_EQ(c->getRefCount(), 2u);
    EXPECT_EQ(target->executeMenuItem(3), kResultOk);
    EXPECT_EQ(c->chosen, (std::vector<int>{3}));
    target->release();
    EXPECT_FALSE(gone);
    c->release();
    EXPECT_TRUE(gone);
}

TEST(PluginControl, ClosingTheEditorLeavesControlsTheHostStillHolds)
{
    bool gone = false;
    FakeDelegate delegate;
    auto* g = new RecordingGraphics(delegate);
    auto* c = new CountedControl(IBox(0, 0, 10, 10), 1, gone);
    g->AddControl(c);
    c->addRef(); // the host keeps the target of an open menu
    delete g;
    EXPECT_FALSE(gone);
    EXPECT_EQ(c->GetGraphics(), nullptr);
    EXPECT_EQ(c->GetDelegate(), nullptr);
    c->executeMenuItem(1);
    EXPECT_EQ(c->chosen, (std::vector<int>{1}));
    c->release();
    EXPECT_TRUE(gone);
}

class HostMenu : public ::testing::Test
{
protected:
    HostMenu()
    {
        delegate.handler = &handler;
        delegate.view = view;
        g.ApplyScreenScale(1.5f);
        g.AddControl(knob);
    }
    ~HostMenu() override { view->release(); }

    HostDelegate delegate;
    RecordingHandler handler;
    IPlugView* view = new CPluginView();
    RecordingGraphics g{delegate};
    ProbeControl* knob = new ProbeControl(IBox(0, 0, 100, 100), 2);
};

TEST_F(HostMenu, EntriesBecomeHostItemsWithRunningTags)
{
    auto* sub = new IPopupMenu();
    sub->AddEntry(new IPopupMenu::Entry("Inner", IPopupMenu::kChecked));
    struct Filler : ProbeControl
    {
        using ProbeControl::ProbeControl;
        IPopupMenu* submenu = nullptr;
        void FillContextMenu(IPopupMenu& menu) override
        {
            menu.AddEntry(new IPopupMenu::Entry("Plain"));
            menu.AddEntry(new IPopupMenu::Entry("Greyed", IPopupMenu::kGreyed | IPopupMenu::kChecked));
            menu.AddEntry(new IPopupMenu::Entry("", IPopupMenu::kSeparator));
            menu.AddEntry(new IPopupMenu::Entry("Group", submenu));
            submenu = nullptr;
        }
    };
    auto* filler = new Filler(IBox(200, 200, 300, 300), 3);
    filler->submenu = sub;
    g.AddControl(filler);

    g.OnPointerDown(At(250.9f, 201.0f, RightButton()));
    EXPECT_EQ(handler.lastParam, 3);
    const auto& items = handler.menu.items;
    ASSERT_EQ(items.size(), 6u);
    using Item = Vst::IContextMenuItem;
    const int32 flags[] = {0,
                           Item::kIsDisabled | Item::kIsChecked,
                           Item::kIsSeparator,
                           Item::kIsGroupStart,
                           Item::kIsChecked,
                           Item::kIsGroupEnd};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].flags, flags[i]) << i;
        EXPECT_EQ(items[i].tag, int32(i));
        EXPECT_EQ(handler.menu.targets[i], static_cast<Vst::IContextMenuTarget*>(filler));
    }
    EXPECT_EQ(Text(items[3].name), u"Group");
    EXPECT_EQ(Text(items[5].name), u"Group");
    EXPECT_EQ(handler.menu.popups, (Lines{"376,301"}));
    EXPECT_EQ(handler.menu.refs, 0);
    EXPECT_EQ(handler.refs, 1);
}

TEST_F(HostMenu, LongTextsAreCutToFitTheHostsField)
{
    struct Long : ProbeControl
    {
        using ProbeControl::ProbeControl;
        void FillContextMenu(IPopupMenu& menu) override
        {
            menu.AddEntry(new IPopupMenu::Entry(std::string(200, 'a').c_str()));
            menu.AddEntry(new IPopupMenu::Entry((std::string(126, 'b') + "\xc3\xa9\xc3\xa9").c_str()));
        }
    };
    g.AddControl(new Long(IBox(200, 0, 300, 100), 1));
    g.OnPointerDown(At(250, 50, RightButton()));
    ASSERT_EQ(handler.menu.items.size(), 2u);
    EXPECT_EQ(Text(handler.menu.items[0].name), std::u16string(127, u'a'));
    EXPECT_EQ(Text(handler.menu.items[1].name), std::u16string(126, u'b') + u"\u00e9");
}

TEST_F(HostMenu, NothingShowsWithoutTheHostsMenuFacility)
{
    handler.withMenus = false;
    g.OnPointerDown(At(50, 50, RightButton()));
    delegate.view = nullptr;
    handler.withMenus = true;
    g.OnPointerDown(At(50, 50, RightButton()));
    EXPECT_EQ(handler.lastParam, -2);
    EXPECT_TRUE(knob->seen.empty());
}

} // namespace
