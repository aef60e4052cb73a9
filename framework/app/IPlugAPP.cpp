#include "framework/app/IPlugAPP.h"

#ifdef _WIN32
#include "framework/graphics/windows/IGraphicsWin.h"
#endif

namespace iplug {

IPlugAPP::IPlugAPP(IPlugAPPHost* host, const IPlugDescriptor& descriptor)
    : IPlugAPIBase(descriptor, kApiApp), IPlugProcessor(descriptor), host(host)
{
    SetChannelsConnected(kInput, 0, NChannels(kInput), true);
    SetChannelsConnected(kOutput, 0, NChannels(kOutput), true);
    ResizeScratchBuffers(kInitialScratchFrames);
    StartIdleTimer();
}

IPlugAPP::~IPlugAPP()
{
    StopIdleTimer();
}

igraphics::IGraphics* IPlugAPP::BuildGraphicsContext()
{
#ifdef _WIN32
    if (!makeGraphicsFunction)
        return new igraphics::IGraphicsWin(*this, GetEditorWidth(), GetEditorHeight(), kEditorFps, 1.0f);
#endif
    return IGEditorDelegate::BuildGraphicsContext();
}

void IPlugAPP::SendSysexFromEditor(const ISysexEvent& msg)
{
    SendSysexOut(msg);
}

bool IPlugAPP::ResizeHostWindow(int width, int height)
{
    if (width != GetEditorWidth() || height != GetEditorHeight())
        SetEditorSize(width, height);
    // The editor's corner resizer asks for this: the window around it has to follow.
    return host && host->ResizeHostWindow(width, height);
}

void IPlugAPP::OnIdleTimer(Timer& timer)
{
    QueuedParamValue value;
    while (paramValuesForEditor.Pop(value))
        PushParamValueToEditor(value.paramIdx, value.value, false);
    IPlugAPIBase::OnIdleTimer(timer);
}

bool IPlugAPP::SendMidiOut(const IMidiEvent& msg)
{
    if (!doesMidiOut || !host)
        return false;
    // Always three bytes, whatever the status: the device takes the message as given.
    const uint8_t bytes[3] = {msg.status, msg.data1, msg.data2};
    return host->SendMidiBytes(bytes, 3);
}

bool IPlugAPP::SendSysexOut(const ISysexEvent& msg)
{
    if (!doesMidiOut || !host || !msg.data || msg.size < 1)
        return false;
    return host->SendMidiBytes(msg.data, msg.size);
}

void IPlugAPP::DrainMidiIn()
{
    IMidiEvent midi;
    while (midiInQueue.Pop(midi)) {
        HandleMidiEvent(midi);
        midiForEditor.Push(midi);
    }
    while (sysexInQueue.Pop(sysexScratchIn)) {
        HandleSysexEvent(SysexEventFor(sysexScratchIn));
        sysexForEditor.Push(sysexScratchIn);
    }
    while (midiFromEditor.Pop(midi))
        HandleMidiEvent(midi);
}

void IPlugAPP::ProcessDeviceBlock(double** inputs, double** outputs, int)
{
    SetChannelsConnected(kInput, 0, NChannels(kInput), pluginKind != kPluginInstrument);
    SetChannelsConnected(kOutput, 0, NChannels(kOutput), true);
    AttachChannelBuffers(kInput, 0, NChannels(kInput), inputs, blockSize);
    AttachChannelBuffers(kOutput, 0, NChannels(kOutput), outputs, blockSize);
    DrainMidiIn();
    ProcessAttachedBuffers(blockSize);
}

} // namespace iplug
