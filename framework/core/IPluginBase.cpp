#include "framework/core/IPluginBase.h"

#include <cstdio>
#include <cstring>

namespace iplug {

namespace {
constexpr const char* kUserPresetName = "user preset";
}

IPluginBase::IPluginBase(int nParams, int nPresets) : IGEditorDelegate(nParams)
{
    for (int i = 0; i < nPresets; ++i)
        presets.Append(new IPresetSlot());
}

IPluginBase::~IPluginBase()
{
    presets.DeleteAll();
    paramGroups.DeleteAll();
}

void IPluginBase::NotifyHostParamInfoChanged() {}

bool IPluginBase::SaveState(IStateBuffer& state)
{
    return SerializeParams(state);
}

int IPluginBase::LoadState(const IStateBuffer& state, int startPos)
{
    return UnserializeParams(state, startPos);
}

bool IPluginBase::SaveAuxState(IStateBuffer& state)
{
    return true;
}

int IPluginBase::LoadAuxState(const IStateBuffer& state, int startPos)
{
    return startPos;
}

void IPluginBase::ReservedHook() {}

void IPluginBase::ReportPresetChangeToHost() {}

bool IPluginBase::SerializeParams(IStateBuffer& state) const
{
    bool ok = true;
    for (int i = 0; i < NParams() && ok; ++i)
        ok = state.Put(GetParam(i)->Value());
    return ok;
}

int IPluginBase::UnserializeParams(const IStateBuffer& state, int startPos)
{
    int pos = startPos;
    for (int i = 0; i < NParams() && pos >= 0; ++i) {
        double value = 0.0;
        pos = state.Get(&value, pos);
        if (pos >= 0)
            GetParam(i)->SetValue(value);
    }
    OnAllParamsChanged(kOriginPreset);
    return pos;
}

const char* IPluginBase::PresetNameAt(int idx) const
{
    const IPresetSlot* slot = presets.Get(idx);
    return slot ? slot->GetName() : "";
}

void IPluginBase::AddFactoryPreset(const char* name, const IStateBuffer& state)
{
    for (int i = 0; i < NPresets(); ++i) {
        IPresetSlot* slot = presets.Get(i);
        if (!slot->IsInitialised()) {
            slot->Fill(name, state);
            return;
        }
    }
}

bool IPluginBase::ApplyPreset(int idx)
{
    IPresetSlot* slot = presets.Get(idx);
    if (!slot)
        return false;

    bool ok = false;
    if (slot->IsInitialised()) {
        ok = LoadState(slot->GetData(), 0) > 0;
    } else {
        int userPresets = 0;
        for (int i = 0; i < NPresets(); ++i) {
            if (std::strstr(presets.Get(i)->GetName(), kUserPresetName))
                ++userPresets;
        }
        // The slot takes the capture only when the whole state was saved, so a failed save
        // never leaves a half-written preset behind.
        IStateBuffer captured;
        ok = SaveState(captured);
        if (ok) {
            char name[kPresetNameMaxLength + 1];
            std::snprintf(name, sizeof(name), "%s %d", kUserPresetName, userPresets + 1);
            ok = slot->Fill(name, captured);
        }
    }

    if (ok) {
        currentPresetIdx = idx;
        ReportPresetChangeToHost();
        OnStateRestored();
    }
    return ok;
}

int IPluginBase::GetPluginVersion(bool decimal) const
{
    if (!decimal)
        return version;
    const int major = (version >> 16) & 0xFFFF;
    const int minor = (version >> 8) & 0xFF;
    const int third = version & 0xFF;
    return major * 10000 + minor * 100 + third;
}

const char* IPluginBase::ParamGroupAt(int idx) const
{
    const TextBuffer* text = paramGroups.Get(idx);
    return text ? text->Get() : nullptr;
}

int IPluginBase::FindParamGroup(const char* group) const
{
    if (!group)
        return -1;
    for (int i = 0; i < paramGroups.Count(); ++i) {
        if (std::strcmp(paramGroups.Get(i)->Get(), group) == 0)
            return i;
    }
    return -1;
}

int IPluginBase::AddParamGroup(const char* group)
{
    const int before = paramGroups.Count();
    TextBuffer* text = new TextBuffer(group ? group : "");
    paramGroups.Append(text);
    if (paramGroups.Count() == before)
        delete text;
    return paramGroups.Count();
}

} // namespace iplug
