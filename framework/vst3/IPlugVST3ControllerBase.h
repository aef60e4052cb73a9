#pragma once

// Controller half of the VST 3 binding: registers the plug-in's parameters, units and program
// list with the SDK controller, and keeps what the host tells about the channel it sits on.

#include "framework/core/TextBuffer.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <cstdint>

namespace iplug {

class IPlugAPIBase;
class IPlugVST3BypassParameter;

class IPlugVST3ControllerBase
{
public:
    IPlugVST3ControllerBase();
    virtual ~IPlugVST3ControllerBase();

    // Registers everything the controller announces; the plug-in's group list is rebuilt.
    void Initialize(IPlugAPIBase& plugin, Steinberg::Vst::EditControllerEx1& controller, bool isInstrument,
                    bool midiIn);

    // Forgets the registered objects; the SDK controller released them at terminate.
    void Forget();

    // Reads the host's channel attributes; a missing attribute leaves its member as it was.
    bool SetChannelContextInfos(Steinberg::Vst::IAttributeList* list);

protected:
    Steinberg::Vst::ParameterContainer* parameters = nullptr;
    IPlugVST3BypassParameter* bypassParameter = nullptr;
    TextBuffer channelName;
    TextBuffer channelNamespace;
    TextBuffer channelUid;
    int32_t channelNamespaceOrder = 0;
    int32_t channelIndex = 0;
    // 0xAARRGGBB.
    uint32_t channelColour = 0;

private:
    Steinberg::Vst::UnitID UnitForGroup(IPlugAPIBase& plugin, Steinberg::Vst::EditControllerEx1& controller,
                                        const char* group);
    void RegisterPresets(IPlugAPIBase& plugin, Steinberg::Vst::EditControllerEx1& controller);
    void RegisterMidiControllers(Steinberg::Vst::EditControllerEx1& controller);
};

} // namespace iplug
