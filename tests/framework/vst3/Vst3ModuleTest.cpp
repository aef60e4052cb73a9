// The module glue: instance handle, undecorated entry points and the InitDll/ExitDll user count.
#include "framework/vst3/Vst3Module.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(Vst3Module, CountsUsersAndNeverGoesBelowZero)
{
    EXPECT_NE(iplug::Vst3Module::Handle(), nullptr);
    EXPECT_FALSE(iplug::Vst3Module::Leave());
    EXPECT_TRUE(iplug::Vst3Module::Enter());
    EXPECT_FALSE(iplug::Vst3Module::Enter());
    EXPECT_FALSE(iplug::Vst3Module::Leave());
    EXPECT_TRUE(iplug::Vst3Module::Leave());
    EXPECT_EQ(iplug::Vst3Module::Users(), 0);
}

TEST(Vst3Module, AModuleRecordsItsOwnHandleAndExportsPlainNames)
{
    HMODULE module = LoadLibraryW(L"Vst3TestModule.dll");
    ASSERT_NE(module, nullptr);
    using HandleFn = void* (*)();
    using FactoryFn = Steinberg::IPluginFactory*(PLUGIN_API*)();
    using DllFn = bool (*)();
    auto handle = reinterpret_cast<HandleFn>(reinterpret_cast<void*>(GetProcAddress(module, "ModuleHandleForTest")));
    auto factoryFn = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(module, "GetPluginFactory")));
    auto init = reinterpret_cast<DllFn>(reinterpret_cast<void*>(GetProcAddress(module, "InitDll")));
    auto exit = reinterpret_cast<DllFn>(reinterpret_cast<void*>(GetProcAddress(module, "ExitDll")));
    ASSERT_TRUE(handle && factoryFn && init && exit);

    EXPECT_EQ(handle(), static_cast<void*>(module)) << "the module's own handle, not the program's";
    EXPECT_TRUE(init());

    Steinberg::IPluginFactory* factory = factoryFn();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory, factoryFn()) << "one factory per module";
    EXPECT_EQ(factory->countClasses(), 1);
    Steinberg::PClassInfo info;
    ASSERT_EQ(factory->getClassInfo(0, &info), Steinberg::kResultOk);
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(info.cid, Steinberg::Vst::IAudioProcessor::iid, &obj), Steinberg::kResultOk);
    static_cast<Steinberg::Vst::IAudioProcessor*>(obj)->release();
    factory->release();
    factory->release();

    EXPECT_TRUE(exit());
    FreeLibrary(module);
}
