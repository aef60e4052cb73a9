#include "framework/vst3/IPlugVST3ControllerBase.h"

#include "framework/core/IPlugAPIBase.h"
#include "framework/vst3/IPlugVST3BypassParameter.h"
#include "framework/vst3/IPlugVST3ParamIds.h"
#include "framework/vst3/IPlugVST3Parameter.h"
#include "framework/vst3/IPlugVST3PresetParameter.h"
#include "framework/vst3/Vst3Text.h"
#include "pluginterfaces/vst/ivstchannelcontextinfo.h"

#include <cstdint>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug {

namespace {

const char* const kControllerNames[128] = {
    "BankSel.MSB", "Modulation",  "BreathCtrl",   "Contr. 3",    "Foot Ctrl",   "Porta.Time",  "DataEntMSB",
    "MainVolume",  "Balance",     "Contr. 9",     "Pan",         "Expression",  "FXControl1",  "FXControl2",
    "Contr. 14",   "Contr. 15",   "Gen.Purp.1",   "Gen.Purp.2",  "Gen.Purp.3",  "Gen.Purp.4",  "Contr. 20",
    "Contr. 21",   "Contr. 22",   "Contr. 23",    "Contr. 24",   "Contr. 25",   "Contr. 26",   "Contr. 27",
    "Contr. 28",   "Contr. 29",   "Contr. 30",    "Contr. 31",   "BankSel.LSB", "Modul. LSB",  "BrthCt LSB",
    "Contr. 35",   "FootCt LSB",  "Port.T LSB",   "DataEntLSB",  "MainVolLSB",  "BalanceLSB",  "Contr. 41",
    "Pan LSB",     "Expr. LSB",   "Contr. 44",    "Contr. 45",   "Contr. 46",   "Contr. 47",   "Gen.P.1LSB",
    "Gen.P.2LSB",  "Gen.P.3LSB",  "Gen.P.4LSB",   "Contr. 52",   "Contr. 53",   "Contr. 54",   "Contr. 55",
    "Contr. 56",   "Contr. 57",   "Contr. 58",    "Contr. 59",   "Contr. 60",   "Contr. 61",   "Contr. 62",
    "Contr. 63",   "Damper Ped",  "Porta. Ped",   "Sostenuto ",  "Soft Pedal",  "Legato Sw",   "Hold 2",
    "SoundCont 1", "SoundCont 2", "SoundCont 3",  "SoundCont 4", "SoundCont 5", "SoundCont 6", "SoundCont 7",
    "SoundCont 8", "SoundCont 9", "SoundCont 10", "Gen.Purp.5",  "Gen.Purp.6",  "Gen.Purp.7",  "Gen.Purp.8",
    "Portamento",  "Contr. 85",   "Contr. 86",    "Contr. 87",   "Contr. 88",   "Contr. 89",   "Contr. 90",
    "FX 1 Depth",  "FX 2 Depth",  "FX 3 Depth",   "FX 4 Depth",  "FX 5 Depth",  "Data Incr",   "Data Decr",
    "Non-RegLSB",  "Non-RegMSB",  "Reg LSB",      "Reg MSB",     "Contr. 102",  "Contr. 103",  "Contr. 104",
    "Contr. 105",  "Contr. 106",  "Contr. 107",   "Contr. 108",  "Contr. 109",  "Contr. 110",  "Contr. 111",
    "Contr. 112",  "Contr. 113",  "Contr. 114",   "Contr. 115",  "Contr. 116",  "Contr. 117",  "Contr. 118",
    "Contr. 119",  "Contr. 120",  "Reset Ctrl",   "Local Ctrl",  "AllNoteOff",  "OmniModOff",  "OmniModeOn",
    "MonoModeOn",  "PolyModeOn"};

// Longest channel text accepted from a host; guards the buffer size against nonsense lengths.
constexpr int64_t kMaxChannelTextLength = 1 << 16;

void ReadChannelText(IAttributeList* list, IAttributeList::AttrID lengthKey, IAttributeList::AttrID textKey,
                     TextBuffer& out)
{
    int64 length = 0;
    if (list->getInt(lengthKey, length) != kResultTrue || length < 0 || length > kMaxChannelTextLength)
        return;
    std::vector<TChar> text(static_cast<size_t>(length) + 1, 0);
    const auto bytes = static_cast<uint32>(text.size() * sizeof(TChar));
    if (list->getString(textKey, text.data(), bytes) != kResultTrue)
        return;
    text.back() = 0;
    Vst3Text::ToUtf8(text.data(), out);
}

} // namespace

IPlugVST3ControllerBase::IPlugVST3ControllerBase() : channelName(), channelNamespace(), channelUid() {}

IPlugVST3ControllerBase::~IPlugVST3ControllerBase() = default;

void IPlugVST3ControllerBase::Forget()
{
    bypassParameter = nullptr;
}

void IPlugVST3ControllerBase::RegisterPresets(IPlugAPIBase& plugin, EditControllerEx1& controller)
{
    const int nPresets = plugin.NPresets();
    parameters->addParameter(new IPlugVST3PresetParameter(nPresets));

    String128 name{};
    Vst3Text::ToUtf16("Factory Presets", name, 128);
    auto* list = new ProgramListWithPitchNames(name, 0, kRootUnitId);
    // The controller owns the list from here on, also if filling it fails part-way.
    controller.addProgramList(list);
    char noteName[128];
    for (int p = 0; p < nPresets; ++p) {
        Vst3Text::ToUtf16(plugin.PresetNameAt(p), name, 128);
        list->addProgram(name);
        for (int note = 0; note < 128; ++note) {
            noteName[0] = 0;
            if (plugin.GetMidiNoteName(note, noteName)) {
                noteName[sizeof(noteName) - 1] = 0;
                Vst3Text::ToUtf16(noteName, name, 128);
                list->setPitchName(p, static_cast<int16>(note), name);
            }
        }
    }
}

UnitID IPlugVST3ControllerBase::UnitForGroup(IPlugAPIBase& plugin, EditControllerEx1& controller, const char* group)
{
    if (!group || group[0] == 0)
        return kRootUnitId;
    const int found = plugin.FindParamGroup(group);
    if (found >= 0)
        return found + 1;
    const int before = plugin.NParamGroups();
    const int count = plugin.AddParamGroup(group);
    if (count == before)
        return kRootUnitId;
    String128 name{};
    Vst3Text::ToUtf16(group, name, 128);
    controller.addUnit(new Unit(name, count, kRootUnitId, kNoProgramListId));
    return count;
}

void IPlugVST3ControllerBase::RegisterMidiControllers(EditControllerEx1& controller)
{
    String128 name{};
    Vst3Text::ToUtf16("MIDI CCs", name, 128);
    const UnitID ccUnit = controller.getUnitCount() + 1;
    controller.addUnit(new Unit(name, ccUnit, kRootUnitId, kNoProgramListId));

    TextBuffer channel;
    channel.SetFormatted(32, "CH%i", 1);
    Vst3Text::ToUtf16(channel.Get(), name, 128);
    const UnitID channelUnit = controller.getUnitCount() + 1;
    controller.addUnit(new Unit(name, channelUnit, ccUnit, kNoProgramListId));

    for (int k = 0; k < 128; ++k) {
        Vst3Text::ToUtf16(kControllerNames[k], name, 128);
        parameters->addParameter(name, STR16(""), 0, 0.0, 0, static_cast<int32>(kMidiCCParamStart + k), channelUnit);
    }
    parameters->addParameter(STR16("Channel Aftertouch"), STR16(""), 0, 0.0, 0,
                             static_cast<int32>(kMidiCCParamStart + kMidiAftertouchCC), channelUnit);
    parameters->addParameter(STR16("Pitch Bend"), STR16(""), 0, 0.5, 0,
                             static_cast<int32>(kMidiCCParamStart + kMidiPitchBendCC), channelUnit);
}

void IPlugVST3ControllerBase::Initialize(IPlugAPIBase& plugin, EditControllerEx1& controller, bool isInstrument,
                                         bool midiIn)
{
    bypassParameter = nullptr;
    String128 rootName{};
    Vst3Text::ToUtf16("Root", rootName, 128);
    ProgramListID rootList = kNoProgramListId;

    if (plugin.NPresets() > 0) {
        rootList = kFactoryProgramListId;
        RegisterPresets(plugin, controller);
    }

    if (!isInstrument) {
        bypassParameter = new IPlugVST3BypassParameter;
        parameters->addParameter(bypassParameter);
    }

    controller.addUnit(new Unit(rootName, kRootUnitId, kNoParentUnitId, rootList));

    for (int i = 0; i < plugin.NParams(); ++i) {
        IParam* param = plugin.GetParam(i);
        const UnitID unit = UnitForGroup(plugin, controller, param->GetGroup());
        parameters->addParameter(new IPlugVST3Parameter(param, static_cast<ParamID>(i), unit));
    }

    if (midiIn)
        RegisterMidiControllers(controller);
}

bool IPlugVST3ControllerBase::SetChannelContextInfos(IAttributeList* list)
{
    if (!list)
        return false;
    ReadChannelText(list, ChannelContext::kChannelNameLengthKey, ChannelContext::kChannelNameKey, channelName);
    ReadChannelText(list, ChannelContext::kChannelUIDLengthKey, ChannelContext::kChannelUIDKey, channelUid);
    int64 value = 0;
    if (list->getInt(ChannelContext::kChannelIndexKey, value) == kResultTrue)
        channelIndex = static_cast<int32_t>(value);
    if (list->getInt(ChannelContext::kChannelColorKey, value) == kResultTrue)
        channelColour = static_cast<uint32_t>(value);
    if (list->getInt(ChannelContext::kChannelIndexNamespaceOrderKey, value) == kResultTrue)
        channelNamespaceOrder = static_cast<int32_t>(value);
    ReadChannelText(list, ChannelContext::kChannelIndexNamespaceLengthKey, ChannelContext::kChannelIndexNamespaceKey,
                    channelNamespace);
    return true;
}

} // namespace iplug
