// A minimal plug-in module built on the module glue, loaded by the module test as a host would.
#include "framework/vst3/PluginFactory.h"
#include "framework/vst3/SingleComponentEffect.h"
#include "framework/vst3/Vst3Module.h"

using namespace Steinberg;

namespace {

FUnknown* CreateEffect(void*)
{
    return static_cast<Vst::IAudioProcessor*>(new Vst::SingleComponentEffect);
}

} // namespace

VST3_MODULE_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory()
{
    static PluginFactory* factory = [] {
        auto* f = new PluginFactory(PFactoryInfo("Maker", "", "", PFactoryInfo::kUnicode));
        TUID cid;
        FUID(1, 2, 3, 4).toTUID(cid);
        f->registerClass(PClassInfo2(cid, PClassInfo::kManyInstances, kVstAudioEffectClass, "Test", 2, "Fx", "",
                                     "1.0.0", "VST 3.8.0"),
                         CreateEffect);
        return f;
    }();
    factory->addRef();
    return factory;
}

VST3_MODULE_EXPORT bool InitDll()
{
    iplug::Vst3Module::Enter();
    return true;
}

VST3_MODULE_EXPORT bool ExitDll()
{
    iplug::Vst3Module::Leave();
    return true;
}

VST3_MODULE_EXPORT void* ModuleHandleForTest()
{
    return iplug::Vst3Module::Handle();
}
