#pragma once

// Audio side of the VST 3 binding: processing set-up, bus arrangements, and for every process
// call the transport, parameter changes, MIDI and audio of the host block.

#include "framework/core/IPlugProcessor.h"
#include "framework/vst3/MidiOutList.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace iplug {

class IPlugVST3;

class IPlugVST3ProcessorBase : public IPlugProcessor
{
public:
    IPlugVST3ProcessorBase(const IPlugDescriptor& descriptor, IPlugVST3& plugin);
    ~IPlugVST3ProcessorBase() override;

    // Queues an event for the host, kept in offset order; dropped when MIDI output is off (nobody
    // would ever take it) or the list cannot grow. Answers true, as a dropped event is no error.
    bool SendMidiOut(const IMidiEvent& msg) override;

    // The speaker arrangement announced for a bus of this many channels (0 for unusual counts).
    static Steinberg::Vst::SpeakerArrangement ArrangementForChannels(int channels);

    const Steinberg::Vst::ProcessContext& LastProcessContext() const { return processContext; }
    const MidiOutList& PendingMidiOut() const { return midiOutList; }

protected:
    // Announces the buses of the configurations with the most buses; run once by initialize.
    void Initialize();
    bool SetBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int numIns,
                            Steinberg::Vst::SpeakerArrangement* outputs, int numOuts);
    bool SetupProcessing(Steinberg::Vst::ProcessSetup& setup);
    void ProcessBlock(Steinberg::Vst::ProcessData& data);

    void ProcessTransport(const Steinberg::Vst::ProcessData& data);
    void ProcessParameterChanges(const Steinberg::Vst::ProcessData& data);
    void ProcessMidiIn(const Steinberg::Vst::ProcessData& data);
    void ProcessAudio(Steinberg::Vst::ProcessData& data);
    void ProcessMidiOut(Steinberg::Vst::ProcessData& data);
    // One queued sysex message from the editor per block.
    void SendSysexOut(Steinberg::Vst::IEventList& out);

    int sidechainFirstChannel = 0;
    IPlugVST3* plugin;
    Steinberg::Vst::ProcessContext processContext;
    MidiOutList midiOutList;
    bool sidechainActive = false;

private:
    void AnnounceAudioBuses(int direction, int layoutIdx);
    // Announces the layout's audio buses in place of the current ones, keeping their activation.
    void ReplaceAudioBuses(int layoutIdx);
    void DisconnectInputs(int nFrames);
    void AttachInputs(Steinberg::Vst::ProcessData& data, bool is64);
    void AttachOutputs(Steinberg::Vst::ProcessData& data, bool is64);
    void ApplyMidiParameter(Steinberg::Vst::ParamID id, double value, int sampleOffset);
    static void SilenceHostOutputs(Steinberg::Vst::ProcessData& data, bool is64);
};

} // namespace iplug
