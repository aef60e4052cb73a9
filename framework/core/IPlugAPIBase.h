#pragma once

#include "framework/core/IPlugDescriptor.h"
#include "framework/core/IPluginBase.h"
#include "framework/core/IRingQueue.h"
#include "framework/core/QueueRecords.h"
#include "framework/core/TextBuffer.h"
#include "framework/core/Timer.h"

#include <memory>
#include <vector>

namespace iplug {

constexpr uint32_t kIdleTimerPeriodMs = 20;

// Host identification codes the framework acts on.
enum HostCode : int
{
    kHostUnrecognised = 0,
    kHostStandalone = 24,
    kHostArdour = 28,
    kHostWavelab = 31,
    kHostWavelabElements = 32,
    kHostWww = 35,
    kHostMixbus = 45
};

// Last framework link before the per-format class: takes the build-time description,
// identifies the host, owns the queues between editor and processor and the idle timer, and
// turns editor actions into host edit notifications through hooks the binding fills in.
class IPlugAPIBase : public IPluginBase
{
public:
    IPlugAPIBase(const IPlugDescriptor& descriptor, PluginApiKind kind);
    ~IPlugAPIBase() override;

    void ReportAllParamsToHost() override;
    void BeginParamEditFromEditor(int paramIdx) override;
    void SetParamFromEditor(int paramIdx, double normalised) override;
    void EndParamEditFromEditor(int paramIdx) override;
    bool OnEditorSizeChanged(int width, int height, bool resizeHostWindow) override;
    void SendMidiFromEditor(const IMidiEvent& msg) override;
    void SendSysexFromEditor(const ISysexEvent& msg) override;
    bool SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data) override;
    void QueueMidiForProcessor(const IMidiEvent& msg) override;
    void QueueSysexForProcessor(const ISysexEvent& msg) override;

    // True when every parameter's value and values[startIdx + i], both taken as f32, differ
    // by less than 1e-5.
    virtual bool MatchesStoredValues(const double* values, int startIdx);
    virtual bool OnAboutRequested();
    virtual bool OnHelpRequested();
    virtual void OnHostKnown();
    // Appends 0..n-1 as i32 to indices and returns n; returns the parameter count (appending
    // nothing) when n is out of 1..NParams-1.
    virtual int ListParamIndices(int n, GrowBuffer& indices);
    virtual bool IsZeroSum(int a, int b);
    // Unused slot; the plug-in base's slot of the same purpose keeps the plain name.
    virtual void ReservedHook1();
    // Empties out (a buffer of at least one byte) and answers false: no note names.
    virtual bool GetMidiNoteName(int note, char* out);
    virtual igraphics::IGraphics* GetGraphicsContext();
    virtual void OnIdleTick();
    virtual void GetChannelColour(int& r, int& g, int& b);
    virtual void GetChannelName(TextBuffer& out);
    virtual int GetChannelIndex();
    virtual void GetChannelNamespace(TextBuffer& out);
    virtual int GetChannelNamespaceOrder();
    virtual void QueueParamValueForEditor(int paramIdx, double value, bool isNormalised);
    virtual void PrepareForHost();
    virtual bool ResizeHostWindow(int width, int height);
    virtual void BeginHostParamEdit(int paramIdx);
    virtual void EndHostParamEdit(int paramIdx);
    virtual void SendParamToHost(int paramIdx, double normalised);
    virtual void ReservedHook2();
    virtual void ReservedHook3();
    // Every 20 ms on the UI thread: MIDI and sysex from the processor to the editor, then the tick.
    virtual void OnIdleTimer(Timer& timer);

    void SetHost(const char* name, int version);
    static int HostCodeForName(const char* name);
    // "v%d.%d.%d" of a packed version.
    static void VersionText(int packedVersion, TextBuffer& out);

    // Replaces any running idle timer.
    void StartIdleTimer();
    // The most-derived destructor calls this first, so that no tick reaches members that are
    // already gone; the base destructor stops it again in any case.
    void StopIdleTimer();
    bool IdleTimerRunning() const { return idleTimer != nullptr; }

    // Stores the value, tells the host and reports the change with origin "UI".
    void ApplyParamFromEditor(int paramIdx, double normalised);

    IRingQueue<QueuedParamValue>& ParamValuesForEditor() { return paramValuesForEditor; }
    IRingQueue<IMidiEvent>& MidiFromEditor() { return midiFromEditor; }
    IRingQueue<IMidiEvent>& MidiForEditor() { return midiForEditor; }
    IRingQueue<SysexQueueEntry>& SysexFromEditor() { return sysexFromEditor; }
    IRingQueue<SysexQueueEntry>& SysexForEditor() { return sysexForEditor; }
    // Holds the outgoing sysex bytes the host reads after process returns.
    SysexQueueEntry& SysexScratch() { return sysexScratch; }

protected:
    std::unique_ptr<Timer> idleTimer;
    IRingQueue<QueuedParamValue> paramValuesForEditor{512};
    IRingQueue<IMidiEvent> midiFromEditor{32};
    IRingQueue<IMidiEvent> midiForEditor{32};
    IRingQueue<SysexQueueEntry> sysexFromEditor{4};
    IRingQueue<SysexQueueEntry> sysexForEditor{4};
    SysexQueueEntry sysexScratch;

private:
    // Hosts record automation and undo from edit gestures and may drop or misfile a value that
    // arrives outside one: a value sent while the editor holds no gesture of its parameter goes
    // to the host inside a begin/end pair of its own.
    void SendParamInGesture(int paramIdx, double normalised);

    // Gestures of each parameter the editor has begun and not yet ended. Only the outermost
    // begin and end of a parameter reach the host, so gestures that overlap (two touches on
    // one control) make one gesture there.
    std::vector<int> openGestures;
};

} // namespace iplug
