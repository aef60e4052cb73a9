#pragma once

#include "tests/plugin/HostRig.h"
#include "tests/plugin/LoadedModule.h"

#include <windows.h>

#include <memory>
#include <string>

namespace Steinberg {
class IPlugView;
}

// The built module's editor as a host shows it: the module loaded from its bundle, one instance
// made by its factory and initialised, its "editor" view attached to a top-level window at the
// screen's origin that is as large as the view.
class ModuleEditor
{
public:
    // modulePath: from the folder of the running program, with '/' separators.
    explicit ModuleEditor(const char* modulePath);
    ~ModuleEditor();
    ModuleEditor(const ModuleEditor&) = delete;
    ModuleEditor& operator=(const ModuleEditor&) = delete;

    // False with error set when the module, the instance, the view or the window fails.
    bool Open(std::string& error);
    // Dispatches the window's messages for the given time, so the editor draws its frames.
    void Run(int milliseconds);
    // A left click at a point of the editor's client area, in pixels.
    void ClickAt(int x, int y);
    // The size of the editor's window in pixels.
    SIZE ClientSize() const;

private:
    LoadedModule module;
    std::unique_ptr<HostRig> rig;
    Steinberg::IPlugView* view = nullptr;
    HWND frame = nullptr;
    HWND editor = nullptr;
};
