#pragma once

#include "framework/core/IPlugDescriptor.h"
#include "framework/core/IPresetSlot.h"
#include "framework/core/IStateBuffer.h"
#include "framework/core/PointerList.h"
#include "framework/core/TextBuffer.h"
#include "framework/graphics/IGEditorDelegate.h"

#include <atomic>

namespace iplug {

constexpr int kDescriptorNameMaxLength = 128;
constexpr int kHostUnknown = -1;

// Third link of the plug-in chain: the plug-in's identity, what is known of the host, the
// preset slots and state save and load. The default state is the plain list of parameter
// values; products override SaveState and LoadState with their own format.
class IPluginBase : public igraphics::IGEditorDelegate
{
public:
    IPluginBase(int nParams, int nPresets);
    ~IPluginBase() override;

    virtual void NotifyHostParamInfoChanged();
    virtual bool SaveState(IStateBuffer& state);
    // Returns the position after what was read, or -1.
    virtual int LoadState(const IStateBuffer& state, int startPos);
    virtual bool SaveAuxState(IStateBuffer& state);
    virtual int LoadAuxState(const IStateBuffer& state, int startPos);
    virtual void ReservedHook();
    virtual void ReportPresetChangeToHost();

    // Each parameter's value as an f64, in index order, with no header.
    bool SerializeParams(IStateBuffer& state) const;
    // Reads one f64 per parameter from startPos and reports every parameter changed with
    // origin "Preset"; a short buffer gives -1, the parameters read before it keep their values.
    int UnserializeParams(const IStateBuffer& state, int startPos);

    int NPresets() const { return presets.Count(); }
    // "" for any index outside 0..NPresets-1.
    const char* PresetNameAt(int idx) const;
    // Null for any index outside 0..NPresets-1.
    IPresetSlot* GetPresetSlot(int idx) const { return presets.Get(idx); }
    // Fills the first slot that holds no preset yet; nothing when all are taken.
    void AddFactoryPreset(const char* name, const IStateBuffer& state);
    bool ApplyPreset(int idx);
    int GetCurrentPresetIdx() const { return currentPresetIdx; }

    // Packed (major << 16 | minor << 8 | third), or major * 10000 + minor * 100 + third.
    int GetPluginVersion(bool decimal) const;
    const char* GetPluginName() const { return pluginName.Get(); }
    const char* GetProductName() const { return productName.Get(); }
    const char* GetMakerName() const { return makerName.Get(); }
    int GetUniqueId() const { return uniqueId; }
    int GetMakerId() const { return makerId; }
    int GetHostVersion() const { return hostVersion.load(std::memory_order_acquire); }
    // -1 until the host is known, 0 for a host that is not recognised.
    int GetHostCode() const { return hostCode.load(std::memory_order_acquire); }
    const char* GetHostName() const { return hostName.Get(); }
    int GetApiKind() const { return apiKind; }
    bool HasEditor() const { return hasEditor; }
    bool IsEditorResizable() const { return editorResizable; }

    int NParamGroups() const { return paramGroups.Count(); }
    // Null for any index outside 0..NParamGroups-1.
    const char* ParamGroupAt(int idx) const;
    // Index of the group with exactly this text, or -1.
    int FindParamGroup(const char* group) const;
    // Appends the group text; returns the new number of groups (unchanged when it could not grow).
    int AddParamGroup(const char* group);

protected:
    int currentPresetIdx = 0;
    TextBuffer pluginName;
    TextBuffer productName;
    TextBuffer makerName;
    int uniqueId = 0;
    int makerId = 0;
    int version = 0;
    std::atomic<int> hostVersion{0};
    std::atomic<int> hostCode{kHostUnknown};
    TextBuffer hostName;
    int apiKind = kApiNone;
    bool hasEditor = false;
    bool editorResizable = false;
    PointerList<TextBuffer> paramGroups;
    PointerList<IPresetSlot> presets;
};

} // namespace iplug
