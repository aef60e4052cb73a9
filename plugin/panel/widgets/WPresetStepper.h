#pragma once

#include "framework/core/IPopupMenu.h"
#include "framework/graphics/IControl.h"
#include "plugin/panel/PluginPresets.h"
#include "plugin/presets/PresetServices.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The preset bar across the top of the panel: a pill with the current preset's name (or
// "Current settings", "Edited: <name>", or a message for three seconds) between two arrows that
// step through the factory presets. A press on the name opens the preset menu: the factory
// groups, the user's presets, the presets folder, saving and importing preset files.
class WPresetStepper : public iplug::igraphics::IControl
{
public:
    // Menu tags.
    static constexpr int kSaveTag = 10000;
    static constexpr int kLoadTag = 10001;
    static constexpr int kShowFolderTag = 10002;
    static constexpr int kUserPresetTag = 20000;
    static constexpr int64_t kMessageNanoseconds = 3000000000;

    // The presets are the plug-in's, which outlives the panel; the parameters are its delegate's.
    // Without services the stepper uses its editor window's dialogs and the user's folder.
    explicit WPresetStepper(PluginPresets* presets, std::unique_ptr<PresetServices> services = nullptr);
    ~WPresetStepper() override;

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    bool OnKeyDown(float x, float y, const iplug::igraphics::IKeyStroke& key) override;
    void OnMenuItemChosen(iplug::igraphics::IPopupMenu* menu, int valIdx) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
    bool ContainsPoint(float x, float y) const override;
    bool NeedsRedraw() const override;

    std::string PresetLabel() const;
    std::string StepperText() const;
    // StepperText written into out, which keeps its capacity: the redraw check runs every
    // frame and must not allocate.
    void WriteStepperText(std::string& out) const;
    void ShowMessage(const std::string& text);

    // Preset operations.
    std::string SanitizePresetName() const;
    void ListUserPresets();
    bool ReadPresetFile(const std::string& path, std::vector<uint8_t>& bytes);
    void LoadUserPreset(const std::string& path);
    bool LoadFactoryPreset(int index);
    void StepPreset(int delta);
    void SavePresetAs();
    void ImportPreset();
    void ShowPresetsFolder();
    void BuildPresetMenu();

    iplug::igraphics::IPopupMenu& PresetMenu() { return presetMenu; }
    const std::vector<std::string>& UserPresetPaths() const { return userPresetPaths; }

private:
    // Writes bytes through a temporary file; failure shows failureMessage.
    bool WritePresetFile(const std::string& path, const std::vector<uint8_t>& bytes, const char* failureMessage);
    // Both through the delegate, the plug-in as every control of the panel sees it.
    void TellHostAllValues();
    void ShowAllValues();
    void MarkPanelDirty();
    float RightEdge() const { return box.right - box.left; }
    PresetServices& Services() const { return *services; }

    PluginPresets* presets;
    iplug::igraphics::IPopupMenu presetMenu;
    void WritePresetLabel(std::string& out) const;

    // Changed by the redraw check and the drawing, which the drawing context calls on a
    // const control.
    mutable std::string lastShownText;
    mutable std::string currentText;
    std::vector<std::string> userPresetPaths;
    mutable std::string message;
    int64_t messageExpiry = 0;
    std::unique_ptr<PresetServices> services;
};
