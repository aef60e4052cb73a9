#include "plugin/presets/WindowPresetServices.h"

#include "framework/core/TextBuffer.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/presets/UserDataFolder.h"

#include <chrono>

using namespace iplug;

namespace {
constexpr int kOpenMode = 0;
constexpr int kSaveMode = 1;
} // namespace

std::string WindowPresetServices::AskForFile(int mode, const std::string& defaultName, const std::string& startFolder)
{
    igraphics::IGraphics* ui = owner.GetGraphics();
    if (!ui)
        return {};
    TextBuffer fileName;
    TextBuffer folder;
    fileName.Set(defaultName.c_str());
    folder.Set(startFolder.c_str());
    ui->AskForFile(fileName, folder, mode, "marlquin");
    return fileName.Get() ? std::string(fileName.Get()) : std::string();
}

std::string WindowPresetServices::AskForSaveFile(const std::string& defaultName, const std::string& startFolder)
{
    return AskForFile(kSaveMode, defaultName, startFolder);
}

std::string WindowPresetServices::AskForOpenFile()
{
    return AskForFile(kOpenMode, "", "");
}

void WindowPresetServices::ShowInFileBrowser(const std::string& folder)
{
    if (igraphics::IGraphics* ui = owner.GetGraphics()) {
        TextBuffer path;
        path.Set(folder.c_str());
        ui->ShowInFileBrowser(path, false);
    }
}

int64_t WindowPresetServices::NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string WindowPresetServices::PresetFolder()
{
    return UserDataFolder::PresetFolder();
}
