#include "plugin/tools/ModuleEditor.h"

#include "plugin/tools/ToolWindow.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace Steinberg;

namespace {

constexpr wchar_t kFrameClass[] = L"MarlquinScreenshotFrame";

} // namespace

ModuleEditor::ModuleEditor(const char* modulePath) : module(modulePath) {}

ModuleEditor::~ModuleEditor()
{
    if (view) {
        if (editor)
            view->removed();
        view->release();
    }
    if (frame)
        DestroyWindow(frame);
    rig.reset();
}

bool ModuleEditor::Open(std::string& error)
{
    if (!module.factory) {
        error = "the module did not load";
        return false;
    }
    PClassInfo info;
    void* instance = nullptr;
    if (module.factory->getClassInfo(0, &info) != kResultOk
        || module.factory->createInstance(info.cid, Vst::IComponent::iid, &instance) != kResultOk || !instance) {
        error = "the module's factory made no instance";
        return false;
    }
    rig = std::make_unique<HostRig>(static_cast<Vst::IComponent*>(instance));
    if (!rig->Initialize() || !rig->controller) {
        error = "the instance did not initialise";
        return false;
    }
    view = rig->controller->createView(Vst::ViewType::kEditor);
    ViewRect size;
    if (!view || view->getSize(&size) != kResultTrue
        || view->isPlatformTypeSupported(kPlatformTypeHWND) != kResultTrue) {
        error = "the instance has no editor view for a window";
        return false;
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kFrameClass;
    RegisterClassW(&wc);
    frame = CreateWindowExW(0, kFrameClass, L"Marlquin", WS_POPUP | WS_VISIBLE, 0, 0, size.getWidth(), size.getHeight(),
                            nullptr, nullptr, wc.hInstance, nullptr);
    if (!frame) {
        error = "no window for the editor";
        return false;
    }
    if (view->attached(frame, kPlatformTypeHWND) != kResultTrue || !(editor = GetWindow(frame, GW_CHILD))) {
        error = "the editor did not attach to its window";
        return false;
    }
    return true;
}

void ModuleEditor::Run(int milliseconds)
{
    ToolWindow::Pump(milliseconds);
}

void ModuleEditor::ClickAt(int x, int y)
{
    ToolWindow::Click(editor, x, y);
}

SIZE ModuleEditor::ClientSize() const
{
    RECT area = {};
    GetClientRect(editor, &area);
    return SIZE{area.right - area.left, area.bottom - area.top};
}
