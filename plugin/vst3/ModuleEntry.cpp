// The module's exported entry points: the class factory with the one effect class, the create
// function behind it, and the user count hosts keep with InitDll and ExitDll.

#include "framework/core/CriticalSection.h"
#include "framework/core/ModuleResources.h"
#include "framework/core/ScopedSection.h"
#include "framework/vst3/PluginFactory.h"
#include "framework/vst3/Vst3Module.h"
#include "plugin/Quorrel.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <new>

using namespace Steinberg;

namespace {

const char* const kVendor = "Ostrevane";
const char* const kVendorUrl = "https://www.ostrevane.com";
const char* const kVendorEmail = "mailto:support@ostrevane.com";
const char* const kClassName = "Marlquin";
const char* const kSubCategories = "Fx|Modulation";
const char* const kClassVersion = MARLQUIN_VERSION;
const char* const kSdkVersion = "VST 3.8.0";
const FUID kClassId(0xF2AEE70D, 0x00DE4F4E, 0x4F76726E, 0x5172726C);

FUnknown* CreateQuorrel(void*)
{
    // Constructed once and never destroyed: instances may be created until the process ends.
    static iplug::CriticalSection* const section = new iplug::CriticalSection();
    const iplug::ScopedSection lock(*section);
    try {
        Vst::IAudioProcessor* processor = new Quorrel();
        return processor;
    } catch (...) {
        return nullptr;
    }
}

PClassInfo2 MakeClassInfo()
{
    TUID cid;
    kClassId.toTUID(cid);
    return PClassInfo2(cid, PClassInfo::kManyInstances, kVstAudioEffectClass, kClassName, Vst::kSimpleModeSupported,
                       kSubCategories, "", kClassVersion, kSdkVersion);
}

// The module keeps a reference of its own, so the factory outlives every host release and each
// GetPluginFactory call can hand out one more; the module's goes when the module is unloaded.
class FactoryHolder
{
public:
    FactoryHolder()
    {
        try {
            static const PClassInfo2 classInfo = MakeClassInfo();
            factory = new PluginFactory(PFactoryInfo(kVendor, kVendorUrl, kVendorEmail, PFactoryInfo::kUnicode));
            if (!factory->registerClass(classInfo, &CreateQuorrel)) {
                factory->release();
                factory = nullptr;
            }
        } catch (...) {
            factory = nullptr;
        }
    }
    ~FactoryHolder()
    {
        if (factory)
            factory->release();
    }
    FactoryHolder(const FactoryHolder&) = delete;
    FactoryHolder& operator=(const FactoryHolder&) = delete;

    IPluginFactory* Acquire()
    {
        if (factory)
            factory->addRef();
        return factory;
    }

private:
    PluginFactory* factory = nullptr;
};

} // namespace

VST3_MODULE_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory()
{
    static FactoryHolder holder;
    return holder.Acquire();
}

VST3_MODULE_EXPORT bool InitDll()
{
    // The first user hands the module's handle to the framework, which gives it to editor windows.
    if (iplug::Vst3Module::Enter())
        iplug::ModuleInitHook();
    return true;
}

VST3_MODULE_EXPORT bool ExitDll()
{
    iplug::Vst3Module::Leave();
    return true;
}
