#pragma once

#include <cstdint>
#include <string>

// What the preset browser needs from outside the plug-in: file dialogs, the file browser, a
// steady clock for its messages and the user preset folder. The panel uses the editor window's;
// tests put their own in.
class PresetServices
{
public:
    virtual ~PresetServices() = default;

    // The chosen path (UTF-8), or empty when the user cancelled.
    virtual std::string AskForSaveFile(const std::string& defaultName, const std::string& startFolder) = 0;
    virtual std::string AskForOpenFile() = 0;
    virtual void ShowInFileBrowser(const std::string& folder) = 0;
    virtual int64_t NowNanoseconds() = 0;
    // Empty when the user's application-data folder is unknown.
    virtual std::string PresetFolder() = 0;
};
