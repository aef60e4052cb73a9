#include "plugin/panel/widgets/WPresetStepper.h"

#include "engine/tables/ParamSpec.h"
#include "framework/core/IEditorDelegate.h"
#include "framework/core/IParam.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"
#include "plugin/presets/PresetFiles.h"
#include "plugin/presets/WindowPresetServices.h"

#include <cctype>

using namespace iplug;
using namespace iplug::igraphics;

namespace {

constexpr float kBarHeight = panel::kPresetBarBox.bottom - panel::kPresetBarBox.top;
constexpr float kArrowInset = 8.0f;
constexpr float kArrowEdge = 52.0f;
constexpr int kLeftArrowKey = 37;
constexpr int kRightArrowKey = 39;
constexpr int kNoTag = -1;

const char* const kCouldNotSave = "Could not save";
const char* const kCouldNotImport = "Could not import";
const char* const kNotAPreset = "Not a Marlquin preset";

// "TREM - 01 Quarter Sine" gives "Quarter Sine"; a name without " - " stays whole.
std::string MenuTextOf(const std::string& name)
{
    const size_t dash = name.find(" - ");
    if (dash == std::string::npos)
        return name;
    size_t at = dash + 3;
    while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])))
        ++at;
    if (at < name.size() && name[at] == ' ')
        ++at;
    return name.substr(at);
}

} // namespace

WPresetStepper::WPresetStepper(PluginPresets* presets, std::unique_ptr<PresetServices> services)
    : IControl(IBox(panel::kPresetBarBox.left, panel::kPresetBarBox.top, panel::kPresetBarBox.right,
                    panel::kPresetBarBox.bottom)),
      presets(presets), services(std::move(services))
{
    if (!this->services)
        this->services = std::make_unique<WindowPresetServices>(*this);
}

WPresetStepper::~WPresetStepper() = default;

void WPresetStepper::WritePresetLabel(std::string& out) const
{
    if (!presets || !presets->PresetRecordCurrent()) {
        out.assign("Current settings");
        return;
    }
    const std::string& name = presets->PresetName();
    out.assign(presets->PresetMatches() && !name.empty() ? "" : "Edited: ");
    out.append(name);
}

std::string WPresetStepper::PresetLabel() const
{
    std::string label;
    WritePresetLabel(label);
    return label;
}

void WPresetStepper::WriteStepperText(std::string& out) const
{
    if (message.empty())
        WritePresetLabel(out);
    else
        out.assign(message);
}

std::string WPresetStepper::StepperText() const
{
    std::string text;
    WriteStepperText(text);
    return text;
}

void WPresetStepper::ShowMessage(const std::string& text)
{
    message = text;
    messageExpiry = Services().NowNanoseconds() + kMessageNanoseconds;
    MarkDirty(false);
}

bool WPresetStepper::ContainsPoint(float x, float y) const
{
    const float local = x - box.left;
    const float localY = y - box.top;
    return localY >= 0.0f && localY < kBarHeight && local >= kArrowInset && local < RightEdge() - kArrowInset;
}

bool WPresetStepper::NeedsRedraw() const
{
    if (!message.empty() && services->NowNanoseconds() >= messageExpiry) {
        message.clear();
        return true;
    }
    WriteStepperText(currentText);
    if (currentText != lastShownText) {
        lastShownText.assign(currentText);
        return true;
    }
    return IControl::NeedsRedraw();
}

void WPresetStepper::OnPointerDown(float x, float y, const IPointerMods& mods)
{
    if (!mods.left || !presets)
        return;
    if (graphics) {
        const int captures = graphics->NCaptures() - (graphics->IsCaptured(this) ? 1 : 0);
        if (captures > 0)
            return;
    }
    if (panel::ParamValue(*this, kRepeatHold) >= 0.5)
        return;
    const float local = x - box.left;
    if (local < kArrowEdge)
        StepPreset(-1);
    else if (local >= RightEdge() - kArrowEdge)
        StepPreset(+1);
    else {
        presetMenu.Clear(true);
        BuildPresetMenu();
        if (graphics)
            graphics->ShowMenuForControl(
                this, &presetMenu, IBox(box.left + kArrowEdge, box.top, box.right - kArrowEdge, box.top + kBarHeight),
                -1);
    }
}

bool WPresetStepper::OnKeyDown(float, float, const IKeyStroke& key)
{
    if (key.virtualKey == kLeftArrowKey)
        StepPreset(-1);
    else if (key.virtualKey == kRightArrowKey)
        StepPreset(+1);
    else
        return false;
    return true;
}

void WPresetStepper::OnMenuItemChosen(IPopupMenu* menu, int)
{
    if (!menu || !presets)
        return;
    const IPopupMenu::Entry* entry = menu->GetChosenItem();
    if (!entry)
        return;
    const int tag = entry->GetTag();
    if (tag == kSaveTag)
        SavePresetAs();
    else if (tag == kLoadTag)
        ImportPreset();
    else if (tag == kShowFolderTag)
        ShowPresetsFolder();
    else if (tag >= kUserPresetTag) {
        const size_t i = static_cast<size_t>(tag - kUserPresetTag);
        if (i < userPresetPaths.size())
            LoadUserPreset(userPresetPaths[i]);
    } else if (tag >= 0 && tag < presets->PresetCount())
        LoadFactoryPreset(tag);
}

void WPresetStepper::Paint(IGraphics& g)
{
    const float right = RightEdge();
    for (const int d : {-1, +1}) {
        const float cx = box.left + (d < 0 ? 30.0f : right - 30.0f);
        const IBox button(cx - 20, box.top + 3, cx + 20, box.top + 25);
        g.SolidRoundedBox(panel::ToArgb(palette::kStepperButton), button, 11);
        g.OutlineRoundedBox(panel::ToArgb(palette::kStepperOutline), button, 11, nullptr, 1.0f);
        const float mx = (button.left + button.right) / 2, my = (button.top + button.bottom) / 2;
        const IArgb chevron = panel::ToArgb(palette::kStepperChevron);
        g.StrokeLine(chevron, mx - 3 * d, my - 5, mx + 3 * d, my, nullptr, 1.5f);
        g.StrokeLine(chevron, mx + 3 * d, my, mx - 3 * d, my + 5, nullptr, 1.5f);
    }
    g.SolidRoundedBox(panel::ToArgb(palette::kStepperPill),
                      IBox(box.left + kArrowEdge, box.top + 3, box.left + right - kArrowEdge, box.top + 25), 7);
    WriteStepperText(currentText);
    g.WriteText(panel::TextStyle("Jost-Medium", 13, palette::kStepperText), currentText.c_str(),
                IBox(box.left + 58, box.top + 3, box.left + right - 58, box.top + 25));
}

std::string WPresetStepper::SanitizePresetName() const
{
    std::string name = PresetLabel();
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool keep = (u < 128 && std::isalnum(u)) || c == ' ' || c == '-' || c == '_';
        if (!keep)
            c = '-';
    }
    return name + PresetFiles::kExtension;
}

void WPresetStepper::ListUserPresets()
{
    userPresetPaths = PresetFiles::ListUserPresets(Services().PresetFolder());
}

bool WPresetStepper::ReadPresetFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    switch (PresetFiles::ReadPresetFile(path, bytes)) {
    case PresetFiles::ReadResult::kOk:
        return true;
    case PresetFiles::ReadResult::kCannotOpen:
        ShowMessage("Could not open that preset");
        return false;
    case PresetFiles::ReadResult::kCannotRead:
        ShowMessage("Could not read that preset");
        return false;
    case PresetFiles::ReadResult::kNotPreset:
        break;
    }
    ShowMessage(kNotAPreset);
    return false;
}

void WPresetStepper::TellHostAllValues()
{
    iplug::IEditorDelegate* delegate = GetDelegate();
    if (!delegate)
        return;
    for (int i = 0; i < delegate->NParams(); ++i)
        delegate->SetParamFromEditor(i, delegate->GetParam(i)->GetNormalized());
}

void WPresetStepper::ShowAllValues()
{
    if (iplug::IEditorDelegate* delegate = GetDelegate())
        delegate->PushAllParamsToEditor();
}

void WPresetStepper::MarkPanelDirty()
{
    if (graphics)
        graphics->MarkAllControlsDirty();
    else
        MarkDirty(false);
}

void WPresetStepper::LoadUserPreset(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (!ReadPresetFile(path, bytes))
        return;
    if (!presets->LoadStateChunk(bytes)) {
        ShowMessage(kNotAPreset);
        return;
    }
    TellHostAllValues();
    ShowAllValues();
    presets->RememberPresetName(PresetFiles::FileStem(path));
    MarkPanelDirty();
}

bool WPresetStepper::LoadFactoryPreset(int index)
{
    if (!presets->ApplyFactoryPreset(index)) {
        MarkPanelDirty();
        return false;
    }
    TellHostAllValues();
    presets->RememberPresetName(presets->PresetNameOf(index));
    MarkPanelDirty();
    return true;
}

void WPresetStepper::StepPreset(int delta)
{
    const int count = presets->PresetCount();
    if (count <= 0)
        return;
    if (presets->PresetRecordCurrent()) {
        for (int i = 0; i < count; ++i)
            if (presets->PresetName() == presets->PresetNameOf(i)) {
                LoadFactoryPreset(((count + i + delta) % count + count) % count);
                return;
            }
    }
    LoadFactoryPreset(0);
}

bool WPresetStepper::WritePresetFile(const std::string& path, const std::vector<uint8_t>& bytes,
                                     const char* failureMessage)
{
    if (PresetFiles::WriteReplacing(path, bytes))
        return true;
    ShowMessage(failureMessage);
    return false;
}

void WPresetStepper::SavePresetAs()
{
    const std::string folder = Services().PresetFolder();
    PresetFiles::CreateFolders(folder);
    const std::string chosen = Services().AskForSaveFile(SanitizePresetName(), folder);
    if (chosen.empty())
        return;
    std::vector<uint8_t> bytes;
    if (!presets->SaveStateChunk(bytes)) {
        ShowMessage(kCouldNotSave);
        return;
    }
    if (WritePresetFile(chosen, bytes, kCouldNotSave))
        presets->RememberPresetName(PresetFiles::FileStem(chosen));
}

void WPresetStepper::ImportPreset()
{
    const std::string chosen = Services().AskForOpenFile();
    if (chosen.empty())
        return;
    std::vector<uint8_t> bytes;
    if (!ReadPresetFile(chosen, bytes))
        return;
    const std::string folder = Services().PresetFolder();
    if (folder.empty()) {
        ShowMessage(kCouldNotImport);
        return;
    }
    PresetFiles::CreateFolders(folder);
    const std::string name = PresetFiles::UniquePresetName(PresetFiles::FileStem(chosen), folder);
    if (name.empty()) {
        ShowMessage(kCouldNotImport);
        return;
    }
    const std::string target = PresetFiles::Join(folder, name + PresetFiles::kExtension);
    if (WritePresetFile(target, bytes, kCouldNotImport))
        LoadUserPreset(target);
}

void WPresetStepper::ShowPresetsFolder()
{
    const std::string folder = Services().PresetFolder();
    if (folder.empty())
        return;
    PresetFiles::CreateFolders(folder);
    Services().ShowInFileBrowser(folder);
}

void WPresetStepper::BuildPresetMenu()
{
    const std::string current = presets->MatchingPresetName();
    IPopupMenu* group = nullptr;
    std::string lastGroup;
    for (int i = 0; i < presets->PresetCount(); ++i) {
        const std::string name = presets->PresetNameOf(i);
        const std::string groupName = PresetFiles::PresetGroupOf(name);
        if (i == 0 || groupName != lastGroup) {
            group = new IPopupMenu();
            presetMenu.AddEntry(new IPopupMenu::Entry(groupName.empty() ? name.c_str() : groupName.c_str(), group));
            lastGroup = groupName;
        }
        const int flags = !current.empty() && current == name ? IPopupMenu::kChecked : 0;
        group->AddEntry(new IPopupMenu::Entry(MenuTextOf(name).c_str(), flags, i));
    }

    ListUserPresets();
    auto* user = new IPopupMenu();
    if (userPresetPaths.empty())
        user->AddEntry(new IPopupMenu::Entry("(none saved yet)", IPopupMenu::kGreyed, kNoTag));
    for (size_t i = 0; i < userPresetPaths.size(); ++i) {
        const std::string stem = PresetFiles::FileStem(userPresetPaths[i]);
        const int flags = !current.empty() && current == stem ? IPopupMenu::kChecked : 0;
        user->AddEntry(new IPopupMenu::Entry(stem.c_str(), flags, kUserPresetTag + static_cast<int>(i)));
    }
    presetMenu.AddEntry(new IPopupMenu::Entry("USER", user));
    presetMenu.AddEntry(new IPopupMenu::Entry("", IPopupMenu::kSeparator, kNoTag));
    presetMenu.AddEntry(new IPopupMenu::Entry("Show presets folder", 0, kShowFolderTag));
    presetMenu.AddEntry(new IPopupMenu::Entry("", IPopupMenu::kSeparator, kNoTag));
    presetMenu.AddEntry(new IPopupMenu::Entry("Save preset...", 0, kSaveTag));
    presetMenu.AddEntry(new IPopupMenu::Entry("Load preset...", 0, kLoadTag));
}
