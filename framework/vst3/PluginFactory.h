#pragma once

// The module's class factory: describes the registered classes (plain, version 2 and Unicode
// records) and creates instances of them for the host.

#include "pluginterfaces/base/ipluginbase.h"

#include <atomic>
#include <vector>

namespace Steinberg {

class PluginFactory : public IPluginFactory3
{
public:
    // Builds one instance; answers its FUnknown with one reference, or null.
    using CreateFunction = FUnknown* (*)(void* context);

    // Starts with one reference, owned by whoever created the factory.
    explicit PluginFactory(const PFactoryInfo& info);
    virtual ~PluginFactory();

    PluginFactory(const PluginFactory&) = delete;
    PluginFactory& operator=(const PluginFactory&) = delete;

    // False when the class id is already registered, the create function is null or memory ran out.
    bool registerClass(const PClassInfo2& info, CreateFunction create, void* context = nullptr);
    bool isClassRegistered(const FUID& cid) const;

    // FUnknown
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) SMTG_OVERRIDE;
    uint32 PLUGIN_API addRef() SMTG_OVERRIDE;
    uint32 PLUGIN_API release() SMTG_OVERRIDE;

    // IPluginFactory
    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE;
    int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE;
    tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;

    // IPluginFactory2
    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE;

    // IPluginFactory3
    tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) SMTG_OVERRIDE;
    tresult PLUGIN_API setHostContext(FUnknown* context) SMTG_OVERRIDE;

private:
    struct ClassEntry
    {
        PClassInfo2 info;
        PClassInfoW infoW;
        CreateFunction create;
        void* context;
    };

    const ClassEntry* entryAt(int32 index) const;

    std::atomic<uint32> refCount{1};
    PFactoryInfo factoryInfo;
    std::vector<ClassEntry> classes;
    FUnknown* hostContext = nullptr;
};

} // namespace Steinberg
