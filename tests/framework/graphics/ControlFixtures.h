#pragma once

#include "framework/graphics/IBitmapControl.h"
#include "framework/graphics/IKnobControlBase.h"
#include "tests/framework/graphics/RecordingGraphics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace graphicstest {

// A plain control that records the events it sees.
class ProbeControl : public IControl
{
public:
    explicit ProbeControl(const IBox& box, int paramIdx = -1) : IControl(box, paramIdx) {}

    void OnPointerDown(float x, float y, const IPointerMods& mods) override
    {
        seen.push_back("down");
        IControl::OnPointerDown(x, y, mods);
    }
    void OnPointerUp(float, float, const IPointerMods&) override { seen.push_back("up"); }
    void OnPointerDrag(float, float, float dx, float dy, const IPointerMods&) override
    {
        seen.push_back("drag " + Num(dx) + "," + Num(dy));
    }
    void OnWheel(float, float, const IPointerMods&, float notches) override { seen.push_back("wheel " + Num(notches)); }
    bool OnKeyDown(float, float, const IKeyStroke&) override
    {
        seen.push_back("key");
        return handlesKeys;
    }
    void OnDropPath(const char* path) override { seen.push_back(std::string("drop ") + path); }
    void OnMenuItemChosen(IPopupMenu* chosen, int valIdx) override
    {
        seen.push_back("menu " + std::to_string(chosen ? chosen->GetChosenIndex() : -1));
        IControl::OnMenuItemChosen(chosen, valIdx);
    }
    void OnTextEntered(const char* text, int) override { seen.push_back(std::string("text ") + text); }
    void FillContextMenu(IPopupMenu& menu) override
    {
        for (const auto& item : menuItems)
            menu.AddEntry(new IPopupMenu::Entry(item.c_str()));
    }
    void Paint(IGraphics&) override { seen.push_back("paint"); }
    void AllowPrompt() { promptDisabled = false; }

    std::vector<std::string> seen;
    std::vector<std::string> menuItems;
    bool handlesKeys = true;
};

class Knob : public IKnobControlBase
{
public:
    using IKnobControlBase::IKnobControlBase;
    void Paint(IGraphics&) override {}
    void KeepPointerVisible() { hidePointerWhileDragging = false; }
};

inline IPointerMods LeftButton(uint64_t touch = 0)
{
    IPointerMods m;
    m.left = true;
    m.touchId = touch;
    return m;
}

inline IPointerMods RightButton()
{
    IPointerMods m;
    m.right = true;
    return m;
}

inline IPointerEventList At(float x, float y, const IPointerMods& mods = LeftButton(), float dx = 0, float dy = 0)
{
    IPointerEvent e;
    e.x = x;
    e.y = y;
    e.dx = dx;
    e.dy = dy;
    e.mods = mods;
    return IPointerEventList(e);
}

// A drawing context with its delegate; Add attaches a probe control.
class GraphicsFixture : public ::testing::Test
{
protected:
    ProbeControl* Add(const IBox& box, int param = -1, int tag = -1, const char* group = "")
    {
        auto* c = new ProbeControl(box, param);
        EXPECT_EQ(g.AddControl(c, tag, group), c);
        return c;
    }

    FakeDelegate delegate;
    RecordingGraphics g{delegate};
};

} // namespace graphicstest
