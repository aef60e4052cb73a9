#pragma once

#include "plugin/presets/PresetServices.h"

namespace iplug::igraphics {
class IControl;
}

// The preset browser's services on the editor window of the control that shows the browser.
class WindowPresetServices : public PresetServices
{
public:
    explicit WindowPresetServices(const iplug::igraphics::IControl& owner) : owner(owner) {}

    std::string AskForSaveFile(const std::string& defaultName, const std::string& startFolder) override;
    std::string AskForOpenFile() override;
    void ShowInFileBrowser(const std::string& folder) override;
    int64_t NowNanoseconds() override;
    std::string PresetFolder() override;

private:
    std::string AskForFile(int mode, const std::string& defaultName, const std::string& startFolder);

    const iplug::igraphics::IControl& owner;
};
