#pragma once

#include "framework/app/IPlugAPPHost.h"
#include "framework/core/IPlugAPIBase.h"
#include "framework/core/IPlugProcessor.h"
#include "framework/core/IRingQueue.h"
#include "framework/core/QueueRecords.h"

namespace iplug {

// The framework's binding for the standalone program: the program's host object feeds it
// 64-frame device blocks and MIDI from the MIDI input thread, and MIDI output goes straight
// to the host's output device.
class IPlugAPP : public IPlugAPIBase, public IPlugProcessor
{
public:
    static constexpr int kMidiInCapacity = 32;
    static constexpr int kSysexInCapacity = 4;
    static constexpr int kInitialScratchFrames = 512;
    static constexpr int kEditorFps = 60;

    IPlugAPP(IPlugAPPHost* host, const IPlugDescriptor& descriptor);
    ~IPlugAPP() override;

    // The product's make-graphics function when it has one, else the Windows drawing context
    // at the editor's size.
    igraphics::IGraphics* BuildGraphicsContext() override;
    void SendSysexFromEditor(const ISysexEvent& msg) override;
    // Remembers the size and has the program's window follow it.
    bool ResizeHostWindow(int width, int height) override;
    // Parameter values queued for the editor come first, then the framework's idle work.
    void OnIdleTimer(Timer& timer) override;

    bool SendMidiOut(const IMidiEvent& msg) override;
    bool SendSysexOut(const ISysexEvent& msg) override;

    // Audio thread: one block of the processor's block size (frames is not used). The pointer
    // arrays hold one entry per input and output channel slot.
    void ProcessDeviceBlock(double** inputs, double** outputs, int frames);

    // MIDI input thread: false when the queue is full and the message was dropped.
    bool QueueMidiIn(const IMidiEvent& msg) { return midiInQueue.Push(msg); }
    bool QueueSysexIn(const SysexQueueEntry& msg) { return sysexInQueue.Push(msg); }

    IPlugAPPHost* Host() const { return host; }

private:
    void DrainMidiIn();

    IPlugAPPHost* host;
    IRingQueue<IMidiEvent> midiInQueue{kMidiInCapacity};
    IRingQueue<SysexQueueEntry> sysexInQueue{kSysexInCapacity};
    // Audio-thread copy target for queued sysex; too large for the callback's stack budget.
    SysexQueueEntry sysexScratchIn;
};

// Defined by the product: creates its plug-in object for the standalone program under a
// process-wide lock.
IPlugAPP* CreatePluginInstance(IPlugAPPHost* host);

} // namespace iplug
