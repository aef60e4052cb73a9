#ifdef IPLUG_VST3_EDITOR
#include "framework/core/TextConversion.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/IGraphics.h"
#include "framework/graphics/IHostContextMenuSource.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"

#include <cstring>
#include <vector>

namespace iplug {
namespace igraphics {

namespace {

constexpr int kHostTextUnits = 128;

// The text in the host's 128-unit field, terminator included: text that does not fit is cut
// at a character boundary, text that cannot be converted is empty.
void ToHostText(const char* text, Steinberg::Vst::String128 out)
{
    out[0] = 0;
    if (!text)
        return;
    std::vector<char> bytes(text, text + std::strlen(text));
    for (;;) {
        bytes.push_back('\0');
        const int needed = Utf16UnitsForUtf8(bytes.data());
        if (needed == 0)
            return;
        if (needed <= kHostTextUnits) {
            ConvertUtf8ToUtf16(bytes.data(), reinterpret_cast<char16_t*>(out), kHostTextUnits);
            return;
        }
        bytes.pop_back();
        // Drop the last character, continuation bytes included.
        while (!bytes.empty() && (static_cast<unsigned char>(bytes.back()) & 0xc0) == 0x80)
            bytes.pop_back();
        if (!bytes.empty())
            bytes.pop_back();
    }
}

void AddHostItems(Steinberg::Vst::IContextMenu& hostMenu, const IPopupMenu& menu, IControl* target, int& tag)
{
    using Item = Steinberg::Vst::IContextMenuItem;
    for (int i = 0; i < menu.NItems(); ++i) {
        const IPopupMenu::Entry* entry = menu.GetItem(i);
        Item item{};
        ToHostText(entry->GetText(), item.name);
        if (entry->IsSeparator()) {
            item.flags = Item::kIsSeparator;
        } else if (entry->GetSubmenu()) {
            item.flags = Item::kIsGroupStart;
            item.tag = tag++;
            hostMenu.addItem(item, target);
            AddHostItems(hostMenu, *entry->GetSubmenu(), target, tag);
            item.flags = Item::kIsGroupEnd;
        } else {
            item.flags = (entry->IsGreyed() ? Item::kIsDisabled : 0) | (entry->IsChecked() ? Item::kIsChecked : 0);
        }
        item.tag = tag++;
        hostMenu.addItem(item, target);
    }
}

} // namespace

void IGraphics::ShowHostContextMenu(IControl* control, int paramIdx, float x, float y)
{
    promptMenu.Clear(true);
    if (!control)
        return;
    control->FillContextMenu(promptMenu);
    auto* source = dynamic_cast<IHostContextMenuSource*>(delegate);
    Steinberg::Vst::IComponentHandler* handler = source ? source->GetHostComponentHandler() : nullptr;
    Steinberg::IPlugView* view = source ? source->GetOpenPlugView() : nullptr;
    if (!handler || !view)
        return;
    Steinberg::Vst::IComponentHandler3* handler3 = nullptr;
    if (handler->queryInterface(Steinberg::Vst::IComponentHandler3::iid, reinterpret_cast<void**>(&handler3))
            != Steinberg::kResultOk
        || !handler3)
        return;
    const Steinberg::Vst::ParamID id = Steinberg::Vst::ParamID(paramIdx);
    Steinberg::Vst::IContextMenu* hostMenu = handler3->createContextMenu(view, &id);
    if (hostMenu) {
        int tag = 0;
        AddHostItems(*hostMenu, promptMenu, control, tag);
        const float s = drawScale * screenScale;
        hostMenu->popup(Steinberg::UCoord(x * s), Steinberg::UCoord(y * s));
        hostMenu->release();
    }
    handler3->release();
}

} // namespace igraphics
} // namespace iplug
#endif
