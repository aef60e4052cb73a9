#pragma once

#include "framework/core/GrowBuffer.h"
#include "framework/core/IBusLayout.h"
#include "framework/core/IChannelSlot.h"
#include "framework/core/IPlugDescriptor.h"
#include "framework/core/ITransportInfo.h"
#include "framework/core/LatencyDelay.h"
#include "framework/core/PointerList.h"
#include "framework/core/QueueRecords.h"
#include "framework/core/TextBuffer.h"

#include <atomic>
#include <memory>

namespace iplug {

// The audio side of every plug-in object: channel-I/O configurations, channel records with
// scratch buffers, sample rate, block size, latency, tail and transport, the default block
// processing and the bypass pass-through. The bindings drive it; products override block
// processing and the processing reset.
//
// Every operation that takes nFrames is safe for a block longer than the prepared block size:
// nothing is written past a scratch buffer; such a block leaves every connected output silent
// and is otherwise skipped.
class IPlugProcessor
{
public:
    explicit IPlugProcessor(const IPlugDescriptor& descriptor);
    virtual ~IPlugProcessor();

    IPlugProcessor(const IPlugProcessor&) = delete;
    IPlugProcessor& operator=(const IPlugProcessor&) = delete;

    virtual void ProcessAudioBlock(double** inputs, double** outputs, int nFrames);
    virtual void HandleMidiEvent(const IMidiEvent& msg);
    virtual void HandleSysexEvent(const ISysexEvent& msg);
    virtual void OnProcessingReset();
    virtual void OnActivated(bool active);
    virtual bool SendMidiOut(const IMidiEvent& msg) = 0;
    virtual bool SendMidiOutList(const IMidiEvent* events, int count);
    virtual bool SendSysexOut(const ISysexEvent& msg);
    // At most 32 characters: "Input", "Main"/"Aux", "Input %i", "Output", "Output %i".
    virtual void GetBusLabel(int direction, int busIdx, int busCount, TextBuffer& out) const;
    virtual void ChangeLatency(int samples);
    virtual void SetTailSamples(int samples);

    // Parses a channel-I/O text such as "1-2 2-2" into layouts (appended, owned by the caller
    // that passes the list); returns the number of configurations.
    static int ParseChannelIoConfig(const char* text, PointerList<IBusLayout>& layouts, int& maxIn, int& maxOut,
                                    int& maxInBuses, int& maxOutBuses);
    // Index of the first layout whose buses have exactly these channel counts, or -1.
    int FindLayoutIndex(const int* inputCounts, int nInputBuses, const int* outputCounts, int nOutputBuses) const;
    // Index of the layout with these bus counts whose channel counts lie closest to these
    // (the first on a tie), or -1 when no layout has these bus counts.
    int NearestLayoutIndex(const int* inputCounts, int nInputBuses, const int* outputCounts, int nOutputBuses) const;
    int MaxBusesInDirection(int direction, int& layoutIdx) const;
    // -1 when the first layout has a wildcard bus in that direction.
    int MaxChannelsOnBus(int direction, int busIdx) const;
    int NLayouts() const { return layouts.Count(); }
    const IBusLayout* GetLayout(int idx) const { return layouts.Get(idx); }

    int NChannels(int direction) const { return Channels(direction).Count(); }
    // Null for any index outside 0..NChannels-1.
    IChannelSlot* GetChannel(int direction, int idx) const { return Channels(direction).Get(idx); }
    int CountConnectedChannels(int direction) const;
    void SetChannelsConnected(int direction, int first, int count, bool connected);
    void AttachChannelBuffers(int direction, int first, int count, double** hostBuffers, int nFrames);
    void AttachChannelBuffers32(int direction, int first, int count, float** hostBuffers, int nFrames);
    void ProcessAttachedBuffers(int nFrames);
    void ProcessAttachedBuffers32(int nFrames);
    void PassThrough(int nFrames);
    void PassThrough32(int nFrames);
    void ResizeScratchBuffers(int frames);
    void ClearScratchBuffers();
    void CreateLatencyDelay();
    // True when a block of nFrames fits the scratch buffers prepared for this block size.
    bool BlockFits(int nFrames) const { return nFrames >= 0 && nFrames <= blockSize; }

    static void ConvertFloatToDouble(double* dst, const float* src, int n);
    static void ConvertDoubleToFloat(float* dst, const double* src, int n);

    int GetPluginKind() const { return pluginKind; }
    bool DoesMidiIn() const { return doesMidiIn; }
    bool DoesMidiOut() const { return doesMidiOut; }
    int GetLatency() const { return latency.load(std::memory_order_acquire); }
    int GetTailSamples() const { return tailSamples.load(std::memory_order_acquire); }
    double GetSampleRate() const { return sampleRate.load(std::memory_order_acquire); }
    void SetSampleRate(double rate) { sampleRate.store(rate, std::memory_order_release); }
    int GetBlockSize() const { return blockSize; }
    bool GetBypassed() const { return bypassed.load(std::memory_order_acquire); }
    void SetBypassed(bool state) { bypassed.store(state, std::memory_order_release); }
    bool GetRenderingOffline() const { return renderingOffline.load(std::memory_order_acquire); }
    void SetRenderingOffline(bool state) { renderingOffline.store(state, std::memory_order_release); }
    ITransportInfo& Transport() { return transport; }
    const ITransportInfo& Transport() const { return transport; }
    const LatencyDelay* GetLatencyDelay() const { return latencyDelay.get(); }

protected:
    const PointerList<IChannelSlot>& Channels(int direction) const
    {
        return direction == kInput ? inputChannels : outputChannels;
    }
    double** Pointers(int direction)
    {
        return reinterpret_cast<double**>((direction == kInput ? inputPointers : outputPointers).Data());
    }
    void AimAtScratch(IChannelSlot& slot);
    // Zeroes nFrames of every connected output's host buffer (64-bit or 32-bit).
    void SilenceConnectedOutputs(int nFrames);
    void CopyOutputsTo32(int nFrames);
    // After a pass-through: outputs whose input is not connected, while only the first input is,
    // take a copy of the first output.
    void SpreadMonoInput(int nFrames);
    // Sizes the delay line (when there is one) to samples per input, zeroed, from the start.
    void ResizeLatencyDelay(int samples);

    int pluginKind = kPluginEffect;
    bool doesMidiIn = false;
    bool doesMidiOut = false;
    std::atomic<int> latency{0};
    std::atomic<double> sampleRate{48000.0};
    int blockSize = 0;
    std::atomic<int> tailSamples{0};
    std::atomic<bool> bypassed{false};
    std::atomic<bool> renderingOffline{false};
    PointerList<IBusLayout> layouts;
    GrowBuffer inputPointers{4096};
    GrowBuffer outputPointers{4096};
    PointerList<IChannelSlot> inputChannels;
    PointerList<IChannelSlot> outputChannels;
    std::unique_ptr<LatencyDelay> latencyDelay;
    ITransportInfo transport;
};

} // namespace iplug
