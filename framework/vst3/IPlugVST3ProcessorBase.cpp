#include "framework/vst3/IPlugVST3ProcessorBase.h"

#include "framework/vst3/IPlugVST3.h"
#include "framework/vst3/IPlugVST3ParamIds.h"
#include "framework/vst3/Vst3Text.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug {

namespace {

bool UsableTempo(double bpm)
{
    return std::isfinite(bpm) && bpm > 0.0;
}

uint8_t ToMidiData(double normalised)
{
    return static_cast<uint8_t>(std::clamp(normalised, 0.0, 1.0) * 127.0);
}

} // namespace

IPlugVST3ProcessorBase::IPlugVST3ProcessorBase(const IPlugDescriptor& descriptor, IPlugVST3& owner)
    : IPlugProcessor(descriptor), plugin(&owner), processContext(), midiOutList(512)
{
    SetChannelsConnected(kInput, 0, NChannels(kInput), true);
    SetChannelsConnected(kOutput, 0, NChannels(kOutput), true);
    int layoutIdx = 0;
    if (MaxBusesInDirection(kInput, layoutIdx) > 0)
        sidechainFirstChannel = MaxChannelsOnBus(kInput, 0);
    CreateLatencyDelay();
    ResizeScratchBuffers(512);
    std::memset(&processContext, 0, sizeof(processContext));
    // Until a host tells otherwise, time runs at the tempo the transport record starts with.
    processContext.tempo = Transport().tempo;
}

IPlugVST3ProcessorBase::~IPlugVST3ProcessorBase() = default;

SpeakerArrangement IPlugVST3ProcessorBase::ArrangementForChannels(int channels)
{
    switch (channels) {
    case 1:
        return SpeakerArr::kMono;
    case 2:
        return SpeakerArr::kStereo;
    case 3:
        return 0x7;
    case 4:
        return 0xF00000;
    case 5:
        return 0x37;
    case 6:
        return 0x3F;
    case 7:
        return 0xF7;
    case 8:
        return 0x63F;
    case 9:
        return 0x7C000F00000ull;
    case 10:
        return 0x300063F;
    case 16:
        return 0x3FFC000F00000ull;
    default:
        return 0;
    }
}

void IPlugVST3ProcessorBase::AnnounceAudioBuses(int direction, int layoutIdx)
{
    const IBusLayout* layout = GetLayout(layoutIdx);
    if (!layout)
        return;
    const PointerList<IBusSpec>& buses = layout->Buses(direction);
    const int count = buses.Count();
    TextBuffer label;
    String128 name{};
    for (int i = 0; i < count; ++i) {
        label.Set("");
        GetBusLabel(direction, i, count, label);
        Vst3Text::ToUtf16(label.Get(), name, 128);
        const SpeakerArrangement arrangement = ArrangementForChannels(buses.Get(i)->channelCount);
        const BusType type = i == 0 ? kMain : kAux;
        const int32 flags = i == 0 ? BusInfo::kDefaultActive : 0;
        if (direction == kInput)
            plugin->addAudioInput(name, arrangement, type, flags);
        else
            plugin->addAudioOutput(name, arrangement, type, flags);
    }
}

void IPlugVST3ProcessorBase::Initialize()
{
    int inputLayout = 0, outputLayout = 0;
    MaxBusesInDirection(kInput, inputLayout);
    const int outputBuses = MaxBusesInDirection(kOutput, outputLayout);
    AnnounceAudioBuses(kInput, inputLayout);
    AnnounceAudioBuses(kOutput, outputLayout);
    if (pluginKind == kPluginMaybeWithoutOutputs && outputBuses == 0)
        plugin->addAudioOutput(STR16("Dummy Output"), SpeakerArr::kEmpty, kMain, 0);
    if (doesMidiIn)
        plugin->addEventInput(STR16("MIDI Input"), 1, kMain, BusInfo::kDefaultActive);
    if (doesMidiOut)
        plugin->addEventOutput(STR16("MIDI Output"), 1, kMain, BusInfo::kDefaultActive);
}

bool IPlugVST3ProcessorBase::SetBusArrangements(SpeakerArrangement* inputs, int numIns, SpeakerArrangement* outputs,
                                                int numOuts)
{
    const int hostCode = plugin->GetHostCode();
    if (hostCode == kHostMixbus || hostCode == kHostArdour)
        return true;

    SetChannelsConnected(kInput, 0, NChannels(kInput), false);
    SetChannelsConnected(kOutput, 0, NChannels(kOutput), false);

    int unused = 0;
    if (numIns < 0 || numOuts < 0 || numIns > MaxBusesInDirection(kInput, unused)
        || numOuts > MaxBusesInDirection(kOutput, unused))
        return false;
    if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return false;

    std::vector<int> inCounts(static_cast<size_t>(numIns)), outCounts(static_cast<size_t>(numOuts));
    for (int i = 0; i < numIns; ++i)
        inCounts[static_cast<size_t>(i)] = SpeakerArr::getChannelCount(inputs[i]);
    for (int i = 0; i < numOuts; ++i)
        outCounts[static_cast<size_t>(i)] = SpeakerArr::getChannelCount(outputs[i]);
    const int layoutIdx = FindLayoutIndex(inCounts.data(), numIns, outCounts.data(), numOuts);
    if (layoutIdx >= 0) {
        ReplaceAudioBuses(layoutIdx);
        return true;
    }
    // Refused: the host reads the arrangement back to learn what is offered instead, so the
    // buses move to the supported one nearest the request rather than stay where they were.
    const int nearest = NearestLayoutIndex(inCounts.data(), numIns, outCounts.data(), numOuts);
    if (nearest >= 0)
        ReplaceAudioBuses(nearest);
    return false;
}

void IPlugVST3ProcessorBase::ReplaceAudioBuses(int layoutIdx)
{
    // A host may activate buses before it settles their arrangement; the new buses keep that.
    std::vector<bool> inActive, outActive;
    for (int i = 0; AudioBus* bus = plugin->getAudioInput(i); ++i)
        inActive.push_back(bus->isActive() != 0);
    for (int i = 0; AudioBus* bus = plugin->getAudioOutput(i); ++i)
        outActive.push_back(bus->isActive() != 0);

    plugin->removeAudioBusses();
    AnnounceAudioBuses(kInput, layoutIdx);
    AnnounceAudioBuses(kOutput, layoutIdx);

    for (size_t i = 0; i < inActive.size(); ++i)
        if (AudioBus* bus = plugin->getAudioInput(static_cast<int32>(i)))
            bus->setActive(inActive[i]);
    for (size_t i = 0; i < outActive.size(); ++i)
        if (AudioBus* bus = plugin->getAudioOutput(static_cast<int32>(i)))
            bus->setActive(outActive[i]);
}

bool IPlugVST3ProcessorBase::SetupProcessing(ProcessSetup& setup)
{
    if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64)
        return false;
    if (setup.maxSamplesPerBlock < 0 || !std::isfinite(setup.sampleRate) || setup.sampleRate <= 0.0)
        return false;
    plugin->SingleComponentEffect::setupProcessing(setup);
    SetSampleRate(setup.sampleRate);
    ResizeScratchBuffers(setup.maxSamplesPerBlock);
    midiOutList.PrepareFor(setup.maxSamplesPerBlock);
    OnProcessingReset();
    return true;
}

void IPlugVST3ProcessorBase::ProcessBlock(ProcessData& data)
{
    ProcessTransport(data);
    ProcessParameterChanges(data);
    if (doesMidiIn)
        ProcessMidiIn(data);
    ProcessAudio(data);
    if (doesMidiOut)
        ProcessMidiOut(data);
}

void IPlugVST3ProcessorBase::ProcessTransport(const ProcessData& data)
{
    if (data.processContext) {
        const double lastTempo = processContext.tempo;
        processContext = *data.processContext;
        // A block without a tempo keeps the last one; synced times must not collapse to nothing.
        if (!UsableTempo(processContext.tempo))
            processContext.tempo = lastTempo;
    }
    ITransportInfo& t = Transport();
    t.tempo = processContext.tempo;
    t.samplePos = (processContext.state & ProcessContext::kProjectTimeMusicValid)
                      ? static_cast<double>(processContext.projectTimeSamples)
                      : -1.0;
    t.quarterNotePos = processContext.projectTimeMusic;
    t.lastBarPos = processContext.barPositionMusic;
    t.cycleStart = processContext.cycleStartMusic;
    t.cycleEnd = processContext.cycleEndMusic;
    t.numerator = processContext.timeSigNumerator;
    t.denominator = processContext.timeSigDenominator;
    t.transportRunning = (processContext.state & ProcessContext::kPlaying) != 0;
    t.cycleActive = (processContext.state & ProcessContext::kCycleActive) != 0;
    SetRenderingOffline(plugin->getProcessSetup().processMode == kOffline);
}

void IPlugVST3ProcessorBase::ApplyMidiParameter(ParamID id, double value, int sampleOffset)
{
    const uint32 k = id - kMidiCCParamStart;
    const uint32 channel = k / kMidiCCsPerChannel;
    const uint32 controller = k % kMidiCCsPerChannel;
    // Only 16 channels exist on a MIDI wire; other ids name nothing.
    if (channel > 15)
        return;
    IMidiEvent event;
    event.sampleOffset = sampleOffset;
    if (controller == kMidiAftertouchCC) {
        event.status = static_cast<uint8_t>(0xD0 | channel);
        event.data1 = ToMidiData(value);
    } else if (controller == kMidiPitchBendCC) {
        const double v = std::clamp(value, 0.0, 1.0);
        int bend = 8192 - static_cast<int>((v * 2.0 - 1.0) * -8192.0);
        bend = std::clamp(bend, 0, 16383);
        event.status = static_cast<uint8_t>(0xE0 | channel);
        event.data1 = static_cast<uint8_t>(bend & 0x7F);
        event.data2 = static_cast<uint8_t>(bend >> 7);
    } else {
        event.status = static_cast<uint8_t>(0xB0 | channel);
        event.data1 = static_cast<uint8_t>(controller);
        event.data2 = ToMidiData(value);
    }
    plugin->MidiForEditor().Push(event);
    HandleMidiEvent(event);
}

void IPlugVST3ProcessorBase::ProcessParameterChanges(const ProcessData& data)
{
    IParameterChanges* changes = data.inputParameterChanges;
    if (!changes)
        return;
    const int32 queues = changes->getParameterCount();
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (!queue)
            continue;
        const int32 points = queue->getPointCount();
        if (points <= 0)
            continue;
        int32 offset = 0;
        ParamValue value = 0.0;
        if (queue->getPoint(points - 1, offset, value) != kResultOk || !std::isfinite(value))
            continue;
        const ParamID id = queue->getParameterId();
        if (id == kBypassParamId)
            SetBypassed(value > 0.5);
        else if (id < static_cast<ParamID>(plugin->NParams())) {
            plugin->GetParam(static_cast<int>(id))->SetNormalized(value);
            plugin->OnParamChange(static_cast<int>(id), kOriginHost, offset);
        }
        // MIDI controller ids exist only when the plug-in takes MIDI input.
        else if (id >= kMidiCCParamStart && doesMidiIn)
            ApplyMidiParameter(id, value, offset);
    }
}

void IPlugVST3ProcessorBase::ProcessMidiIn(const ProcessData& data)
{
    if (IEventList* events = data.inputEvents) {
        const int32 count = events->getEventCount();
        for (int32 i = 0; i < count; ++i) {
            Event e{};
            if (events->getEvent(i, e) != kResultOk)
                continue;
            IMidiEvent msg;
            msg.sampleOffset = e.sampleOffset;
            switch (e.type) {
            case Event::kNoteOnEvent:
                msg.status = static_cast<uint8_t>(0x90 | (e.noteOn.channel & 0x0F));
                msg.data1 = static_cast<uint8_t>(e.noteOn.pitch & 0x7F);
                msg.data2 = ToMidiData(e.noteOn.velocity);
                break;
            case Event::kNoteOffEvent:
                msg.status = static_cast<uint8_t>(0x80 | (e.noteOff.channel & 0x0F));
                msg.data1 = static_cast<uint8_t>(e.noteOff.pitch & 0x7F);
                break;
            case Event::kPolyPressureEvent:
                msg.status = static_cast<uint8_t>(0xA0 | (e.polyPressure.channel & 0x0F));
                msg.data1 = static_cast<uint8_t>(e.polyPressure.pitch & 0x7F);
                msg.data2 = ToMidiData(e.polyPressure.pressure);
                break;
            case Event::kDataEvent: {
                ISysexEvent sysex;
                sysex.sampleOffset = e.sampleOffset;
                sysex.size = static_cast<int32_t>(e.data.size);
                sysex.data = e.data.bytes;
                HandleSysexEvent(sysex);
                continue;
            }
            default:
                continue;
            }
            HandleMidiEvent(msg);
            plugin->MidiForEditor().Push(msg);
        }
    }
    IMidiEvent fromEditor;
    while (plugin->MidiFromEditor().Pop(fromEditor))
        HandleMidiEvent(fromEditor);
}

void IPlugVST3ProcessorBase::SilenceHostOutputs(ProcessData& data, bool is64)
{
    if (!data.outputs || data.numSamples <= 0)
        return;
    const size_t frames = static_cast<size_t>(data.numSamples);
    for (int32 b = 0; b < data.numOutputs; ++b) {
        AudioBusBuffers& bus = data.outputs[b];
        if (!bus.channelBuffers64)
            continue;
        for (int32 c = 0; c < bus.numChannels; ++c) {
            if (is64 && bus.channelBuffers64[c])
                std::memset(bus.channelBuffers64[c], 0, frames * sizeof(Sample64));
            else if (!is64 && bus.channelBuffers32[c])
                std::memset(bus.channelBuffers32[c], 0, frames * sizeof(Sample32));
        }
    }
}

void IPlugVST3ProcessorBase::DisconnectInputs(int nFrames)
{
    SetChannelsConnected(kInput, 0, NChannels(kInput), false);
    for (int c = 0; c < NChannels(kInput); ++c)
        if (double* scratch = GetChannel(kInput, c)->Scratch())
            std::memset(scratch, 0, sizeof(double) * static_cast<size_t>(nFrames));
}

void IPlugVST3ProcessorBase::AttachInputs(ProcessData& data, bool is64)
{
    const int n = data.numSamples;
    // Without input buffers the slots must not keep pointing at an earlier block's buffers.
    if (data.numInputs < 1 || !data.inputs) {
        DisconnectInputs(n);
        return;
    }
    SetChannelsConnected(kInput, 0, NChannels(kInput), false);
    AudioBusBuffers& main = data.inputs[0];
    const int mainChannels = std::max(0, main.numChannels);
    auto attach = [&](AudioBusBuffers& bus, int first, int channels) {
        if (!bus.channelBuffers64 || channels <= 0)
            return;
        if (is64)
            AttachChannelBuffers(kInput, first, channels, bus.channelBuffers64, n);
        else
            AttachChannelBuffers32(kInput, first, channels, bus.channelBuffers32, n);
    };

    AudioBus* sidechain = plugin->getAudioInput(1);
    if (sidechain) {
        // The host passes one record per announced bus; a short array means no side-chain.
        const bool active = sidechain->isActive() && data.numInputs > 1;
        if (active) {
            sidechainActive = true;
            SetChannelsConnected(kInput, 0, mainChannels, true);
            SetChannelsConnected(kInput, sidechainFirstChannel, std::max(0, data.inputs[1].numChannels), true);
        } else {
            if (sidechainActive) {
                ClearScratchBuffers();
                sidechainActive = false;
            }
            SetChannelsConnected(kInput, 0, mainChannels, true);
        }
        attach(main, 0, std::min(mainChannels, NChannels(kInput)));
        if (sidechainActive) {
            const int room = std::max(0, NChannels(kInput) - sidechainFirstChannel);
            attach(data.inputs[1], sidechainFirstChannel, std::min(std::max(0, data.inputs[1].numChannels), room));
        }
    } else {
        SetChannelsConnected(kInput, 0, mainChannels, true);
        attach(main, 0, std::min(mainChannels, NChannels(kInput)));
    }
}

void IPlugVST3ProcessorBase::AttachOutputs(ProcessData& data, bool is64)
{
    const int n = data.numSamples;
    // Outputs the host does not pass now must not keep an earlier block's buffers.
    SetChannelsConnected(kOutput, 0, NChannels(kOutput), false);
    int slot = 0;
    for (int32 b = 0; data.outputs && b < data.numOutputs; ++b) {
        AudioBusBuffers& bus = data.outputs[b];
        const int channels = std::max(0, bus.numChannels);
        AudioBus* announced = plugin->getAudioOutput(b);
        const bool active = announced && announced->isActive();
        SetChannelsConnected(kOutput, slot, channels, active && bus.channelBuffers64);
        SetChannelsConnected(kOutput, slot + channels, NChannels(kOutput), false);
        const int attachable = std::min(channels, std::max(0, NChannels(kOutput) - slot));
        if (bus.channelBuffers64 && attachable > 0) {
            if (is64)
                AttachChannelBuffers(kOutput, slot, attachable, bus.channelBuffers64, n);
            else
                AttachChannelBuffers32(kOutput, slot, attachable, bus.channelBuffers32, n);
        }
        slot += channels;
    }
}

void IPlugVST3ProcessorBase::ProcessAudio(ProcessData& data)
{
    const int32 sampleSize = plugin->getProcessSetup().symbolicSampleSize;
    if (sampleSize != kSample32 && sampleSize != kSample64)
        return;
    // The host's buffers are of the size it says they are; they must match the set-up.
    const bool is64 = data.symbolicSampleSize == kSample64;
    if (data.numSamples <= 0 || (data.symbolicSampleSize != kSample32 && !is64))
        return;
    // Longer than prepared for, or buffers of another size than set up: silence rather than
    // overrun a scratch buffer or misread the host's samples.
    if (data.symbolicSampleSize != sampleSize || !BlockFits(data.numSamples)) {
        SilenceHostOutputs(data, is64);
    } else {
        AttachInputs(data, is64);
        AttachOutputs(data, is64);
        if (GetBypassed()) {
            if (is64)
                PassThrough(data.numSamples);
            else
                PassThrough32(data.numSamples);
        } else if (is64)
            ProcessAttachedBuffers(data.numSamples);
        else
            ProcessAttachedBuffers32(data.numSamples);
    }
    // Every output now holds what was written, so no channel may still claim to be silent.
    for (int32 b = 0; data.outputs && b < data.numOutputs; ++b)
        data.outputs[b].silenceFlags = 0;
}

namespace {

// Everything but notes leaves as a legacy controller record.
void SetLegacyController(Event& e, int controlNumber, int16 channel, int value, int value2)
{
    e.type = Event::kLegacyMIDICCOutEvent;
    e.midiCCOut.controlNumber = static_cast<uint8>(controlNumber);
    e.midiCCOut.channel = static_cast<int8>(channel);
    e.midiCCOut.value = static_cast<int8>(value);
    e.midiCCOut.value2 = static_cast<int8>(value2);
}

// The VST 3 form of a short MIDI message; false for messages it has none for.
bool ToVst3Event(const IMidiEvent& msg, Event& e)
{
    e = Event{};
    e.busIndex = 0;
    e.sampleOffset = msg.sampleOffset;
    const int16 channel = static_cast<int16>(msg.status & 0x0F);
    switch (msg.status & 0xF0) {
    case 0x90:
        e.type = Event::kNoteOnEvent;
        e.noteOn.channel = channel;
        e.noteOn.pitch = msg.data1;
        e.noteOn.velocity = msg.data2 / 127.0f;
        e.noteOn.noteId = -1;
        break;
    case 0x80:
        e.type = Event::kNoteOffEvent;
        e.noteOff.channel = channel;
        e.noteOff.pitch = msg.data1;
        e.noteOff.velocity = msg.data2 / 127.0f;
        e.noteOff.noteId = -1;
        break;
    case 0xA0:
        SetLegacyController(e, kCtrlPolyPressure, channel, msg.data1, msg.data2);
        break;
    case 0xB0:
        SetLegacyController(e, msg.data1, channel, msg.data2, 0);
        break;
    case 0xC0:
        SetLegacyController(e, kCtrlProgramChange, channel, msg.data1, 0);
        break;
    case 0xD0:
        SetLegacyController(e, kAfterTouch, channel, msg.data1, msg.data2);
        break;
    // The 14-bit bend travels as its low and high 7 bits.
    case 0xE0:
        SetLegacyController(e, kPitchBend, channel, msg.data1 & 0x7F, msg.data2 & 0x7F);
        break;
    default:
        return false;
    }
    return true;
}

} // namespace

void IPlugVST3ProcessorBase::ProcessMidiOut(ProcessData& data)
{
    IEventList* out = data.outputEvents;
    if (out && midiOutList.Unread() > 0) {
        IMidiEvent msg;
        Event e{};
        while (midiOutList.Next(msg))
            if (ToVst3Event(msg, e))
                out->addEvent(e);
    }
    midiOutList.FinishBlock(std::max(0, data.numSamples));
    if (out)
        SendSysexOut(*out);
}

void IPlugVST3ProcessorBase::SendSysexOut(IEventList& out)
{
    // The host reads sysex bytes after process returns and there is one scratch entry, so one
    // message leaves per block; the rest wait in the queue.
    SysexQueueEntry& scratch = plugin->SysexScratch();
    if (!plugin->SysexFromEditor().Pop(scratch))
        return;
    Event e{};
    e.busIndex = 0;
    e.sampleOffset = scratch.sampleOffset;
    e.type = Event::kDataEvent;
    e.data.type = DataEvent::kMidiSysEx;
    e.data.size = static_cast<uint32>(std::clamp(scratch.size, 0, kSysexEntryMaxBytes));
    e.data.bytes = scratch.data;
    out.addEvent(e);
}

bool IPlugVST3ProcessorBase::SendMidiOut(const IMidiEvent& msg)
{
    if (doesMidiOut)
        midiOutList.Insert(msg);
    return true;
}

} // namespace iplug
