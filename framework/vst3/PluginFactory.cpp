#include "framework/vst3/PluginFactory.h"

#include "framework/vst3/InterfaceGuard.h"

#include <cstring>

namespace Steinberg {

PluginFactory::PluginFactory(const PFactoryInfo& info) : factoryInfo(info) {}

PluginFactory::~PluginFactory()
{
    if (hostContext)
        hostContext->release();
}

bool PluginFactory::registerClass(const PClassInfo2& info, CreateFunction create, void* context)
{
    if (!create || isClassRegistered(FUID::fromTUID(info.cid)))
        return false;
    try {
        ClassEntry entry{info, PClassInfoW(), create, context};
        entry.infoW.fromAscii(info);
        classes.push_back(entry);
        return true;
    } catch (...) {
        return false;
    }
}

bool PluginFactory::isClassRegistered(const FUID& cid) const
{
    for (const ClassEntry& entry : classes)
        if (FUID::fromTUID(entry.info.cid) == cid)
            return true;
    return false;
}

const PluginFactory::ClassEntry* PluginFactory::entryAt(int32 index) const
{
    if (index < 0 || index >= static_cast<int32>(classes.size()))
        return nullptr;
    return &classes[static_cast<size_t>(index)];
}

tresult PLUGIN_API PluginFactory::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
    QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
    QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
    QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
    *obj = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API PluginFactory::addRef()
{
    return ++refCount;
}

uint32 PLUGIN_API PluginFactory::release()
{
    const uint32 left = --refCount;
    if (left == 0)
        delete this;
    return left;
}

tresult PLUGIN_API PluginFactory::getFactoryInfo(PFactoryInfo* info)
{
    if (!info)
        return kInvalidArgument;
    std::memcpy(info, &factoryInfo, sizeof(PFactoryInfo));
    return kResultOk;
}

int32 PLUGIN_API PluginFactory::countClasses()
{
    return static_cast<int32>(classes.size());
}

tresult PLUGIN_API PluginFactory::getClassInfo(int32 index, PClassInfo* info)
{
    const ClassEntry* entry = entryAt(index);
    if (!info)
        return kInvalidArgument;
    if (!entry)
        return kInvalidArgument;
    *info = PClassInfo();
    std::memcpy(info->cid, entry->info.cid, sizeof(TUID));
    info->cardinality = entry->info.cardinality;
    std::memcpy(info->category, entry->info.category, sizeof(info->category));
    std::memcpy(info->name, entry->info.name, sizeof(info->name));
    return kResultOk;
}

tresult PLUGIN_API PluginFactory::getClassInfo2(int32 index, PClassInfo2* info)
{
    const ClassEntry* entry = entryAt(index);
    if (!info || !entry)
        return kInvalidArgument;
    std::memcpy(info, &entry->info, sizeof(PClassInfo2));
    return kResultOk;
}

tresult PLUGIN_API PluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info)
{
    const ClassEntry* entry = entryAt(index);
    if (!info || !entry)
        return kInvalidArgument;
    std::memcpy(info, &entry->infoW, sizeof(PClassInfoW));
    return kResultOk;
}

tresult PLUGIN_API PluginFactory::createInstance(FIDString cid, FIDString iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iid)
        return kInvalidArgument;
    return InterfaceGuard::Run([&]() -> tresult {
        for (const ClassEntry& entry : classes) {
            if (std::memcmp(entry.info.cid, cid, sizeof(TUID)) != 0)
                continue;
            FUnknown* instance = entry.create(entry.context);
            if (!instance)
                return kOutOfMemory;
            TUID wanted;
            std::memcpy(wanted, iid, sizeof(TUID));
            const tresult result = instance->queryInterface(wanted, obj);
            // The query holds its own reference; the creation reference goes.
            instance->release();
            if (result != kResultOk)
                *obj = nullptr;
            return result == kResultOk ? kResultOk : kNoInterface;
        }
        return kInvalidArgument;
    });
}

tresult PLUGIN_API PluginFactory::setHostContext(FUnknown* context)
{
    if (context)
        context->addRef();
    if (hostContext)
        hostContext->release();
    hostContext = context;
    return kResultOk;
}

} // namespace Steinberg
