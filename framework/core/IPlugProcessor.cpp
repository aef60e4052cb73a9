#include "framework/core/IPlugProcessor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace iplug {

namespace {

// A channel-I/O text comes from the product's descriptor; a count beyond this is a typo and
// would otherwise allocate channel records without end.
constexpr int kMaxChannelsPerBus = 1024;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Reads one bus token of [begin, end): "*" is the wildcard; otherwise the leading decimal
// number, 0 when there is none.
int ReadBusToken(const char* begin, const char* end)
{
    if (end - begin == 1 && *begin == '*')
        return kWildcardChannels;
    char token[32] = {};
    std::memcpy(token, begin, size_t(std::min<std::ptrdiff_t>(end - begin, sizeof(token) - 1)));
    const long value = std::strtol(token, nullptr, 10);
    return int(std::clamp<long>(value, 0, kMaxChannelsPerBus));
}

// Adds the buses of one side ("2.1") to the layout; returns the side's channel total.
int ParseSide(const char* begin, const char* end, int direction, IBusLayout& layout, int& busCount)
{
    int total = 0;
    busCount = 0;
    if (begin >= end)
        return 0;
    const char* token = begin;
    for (const char* p = begin;; ++p) {
        if (p == end || *p == '.') {
            const int value = ReadBusToken(token, p);
            total += value;
            if (value != 0) {
                IBusSpec* bus = new IBusSpec{direction, value};
                const int before = layout.Buses(direction).Count();
                layout.Buses(direction).Append(bus);
                if (layout.Buses(direction).Count() == before)
                    delete bus;
                else
                    ++busCount;
            }
            if (p == end)
                break;
            token = p + 1;
        }
    }
    return total;
}

} // namespace

IPlugProcessor::IPlugProcessor(const IPlugDescriptor& descriptor)
    : pluginKind(descriptor.pluginKind), doesMidiIn(descriptor.doesMidiIn), doesMidiOut(descriptor.doesMidiOut),
      latency(std::max(descriptor.latency, 0))
{
    int maxIn = 0, maxOut = 0, maxInBuses = 0, maxOutBuses = 0;
    ParseChannelIoConfig(descriptor.channelIoText, layouts, maxIn, maxOut, maxInBuses, maxOutBuses);

    for (int direction : {int(kInput), int(kOutput)}) {
        const int count = direction == kInput ? maxIn : maxOut;
        GrowBuffer& pointers = direction == kInput ? inputPointers : outputPointers;
        PointerList<IChannelSlot>& channels = direction == kInput ? inputChannels : outputChannels;
        if (count < 1 || !pointers.Resize(count * int(sizeof(double*)), false))
            continue;
        std::memset(pointers.Data(), 0, size_t(pointers.Size()));
        double** entries = Pointers(direction);
        for (int i = 0; i < count; ++i) {
            IChannelSlot* slot = new IChannelSlot();
            slot->pointerEntry = &entries[i];
            const int before = channels.Count();
            channels.Append(slot);
            if (channels.Count() == before) {
                delete slot;
                break;
            }
        }
    }
}

IPlugProcessor::~IPlugProcessor()
{
    inputChannels.DeleteAll();
    outputChannels.DeleteAll();
    layouts.DeleteAll();
}

void IPlugProcessor::ProcessAudioBlock(double** inputs, double** outputs, int nFrames)
{
    if (!outputs || nFrames <= 0)
        return;
    const int nIn = NChannels(kInput);
    const int nOut = NChannels(kOutput);
    const size_t bytes = sizeof(double) * size_t(nFrames);
    for (int c = 0; c < nOut; ++c) {
        double* out = outputs[c];
        if (!out)
            continue;
        const double* in = (pluginKind != kPluginInstrument && inputs && c < nIn) ? inputs[c] : nullptr;
        if (!in)
            std::memset(out, 0, bytes);
        else if (in != out)
            std::memmove(out, in, bytes);
    }
}

void IPlugProcessor::HandleMidiEvent(const IMidiEvent& msg)
{
    SendMidiOut(msg);
}

void IPlugProcessor::HandleSysexEvent(const ISysexEvent& msg) {}

void IPlugProcessor::OnProcessingReset() {}

void IPlugProcessor::OnActivated(bool active) {}

bool IPlugProcessor::SendMidiOutList(const IMidiEvent* events, int count)
{
    bool ok = true;
    for (int i = 0; events && i < count; ++i)
        ok = SendMidiOut(events[i]) && ok;
    return ok;
}

bool IPlugProcessor::SendSysexOut(const ISysexEvent& msg)
{
    return false;
}

void IPlugProcessor::GetBusLabel(int direction, int busIdx, int busCount, TextBuffer& out) const
{
    constexpr int kLabelMax = 32;
    if (direction == kOutput) {
        if (busCount == 1)
            out.Set("Output");
        else
            out.SetFormatted(kLabelMax, "Output %i", busIdx);
        return;
    }
    if (busCount == 1)
        out.Set("Input");
    else if (busCount == 2)
        out.Set(busIdx == 0 ? "Main" : "Aux");
    else
        out.SetFormatted(kLabelMax, "Input %i", busIdx);
}

void IPlugProcessor::ChangeLatency(int samples)
{
    samples = std::max(samples, 0);
    latency.store(samples, std::memory_order_release);
    ResizeLatencyDelay(samples);
}

void IPlugProcessor::ResizeLatencyDelay(int samples)
{
    LatencyDelay* delay = latencyDelay.get();
    if (!delay)
        return;
    const int64_t bytes = int64_t(samples) * delay->nInputs * int64_t(sizeof(double));
    delay->writePos = 0;
    delay->length = 0;
    if (bytes > int64_t(0x7fffffff) || (bytes > 0 && !delay->buffer.Resize(int(bytes), true))) {
        delay->buffer.Resize(0, true);
        return;
    }
    if (bytes == 0) {
        delay->buffer.Resize(0, true);
        return;
    }
    std::memset(delay->buffer.Data(), 0, size_t(bytes));
    delay->length = samples;
}

void IPlugProcessor::SetTailSamples(int samples)
{
    tailSamples.store(samples, std::memory_order_release);
}

int IPlugProcessor::ParseChannelIoConfig(const char* text, PointerList<IBusLayout>& layoutsOut, int& maxIn, int& maxOut,
                                         int& maxInBuses, int& maxOutBuses)
{
    maxIn = maxOut = maxInBuses = maxOutBuses = 0;
    if (!text)
        return 0;
    int configs = 0;
    const char* p = text;
    while (*p) {
        while (*p && IsSpace(*p))
            ++p;
        if (!*p)
            break;
        const char* begin = p;
        while (*p && !IsSpace(*p))
            ++p;
        const char* end = p;
        const char* dash = std::find(begin, end, '-');

        IBusLayout* layout = new IBusLayout();
        int inBuses = 0, outBuses = 0;
        const int inTotal = ParseSide(begin, dash, kInput, *layout, inBuses);
        // A configuration without "-" has no output side.
        const int outTotal = dash < end ? ParseSide(dash + 1, end, kOutput, *layout, outBuses) : 0;
        maxIn = std::max(maxIn, inTotal);
        maxOut = std::max(maxOut, outTotal);
        maxInBuses = std::max(maxInBuses, inBuses);
        maxOutBuses = std::max(maxOutBuses, outBuses);
        const int before = layoutsOut.Count();
        layoutsOut.Append(layout);
        if (layoutsOut.Count() == before)
            delete layout;
        ++configs;
    }
    return configs;
}

int IPlugProcessor::FindLayoutIndex(const int* inputCounts, int nInputBuses, const int* outputCounts,
                                    int nOutputBuses) const
{
    for (int i = 0; i < layouts.Count(); ++i) {
        const IBusLayout* layout = layouts.Get(i);
        auto matches = [](const PointerList<IBusSpec>& buses, const int* counts, int n) {
            if (buses.Count() != n)
                return false;
            for (int b = 0; b < n; ++b) {
                if (!counts || buses.Get(b)->channelCount != counts[b])
                    return false;
            }
            return true;
        };
        if (matches(layout->inputBuses, inputCounts, nInputBuses)
            && matches(layout->outputBuses, outputCounts, nOutputBuses))
            return i;
    }
    return -1;
}

int IPlugProcessor::NearestLayoutIndex(const int* inputCounts, int nInputBuses, const int* outputCounts,
                                       int nOutputBuses) const
{
    // Channels apart on one side, or -1 when the bus counts differ.
    auto distance = [](const PointerList<IBusSpec>& buses, const int* counts, int n) {
        if (buses.Count() != n || (n > 0 && !counts))
            return -1;
        int apart = 0;
        for (int b = 0; b < n; ++b)
            apart += std::abs(buses.Get(b)->channelCount - counts[b]);
        return apart;
    };
    int best = -1;
    int bestDistance = 0;
    for (int i = 0; i < layouts.Count(); ++i) {
        const IBusLayout* layout = layouts.Get(i);
        const int in = distance(layout->inputBuses, inputCounts, nInputBuses);
        const int out = distance(layout->outputBuses, outputCounts, nOutputBuses);
        if (in < 0 || out < 0)
            continue;
        if (best < 0 || in + out < bestDistance) {
            best = i;
            bestDistance = in + out;
        }
    }
    return best;
}

int IPlugProcessor::MaxBusesInDirection(int direction, int& layoutIdx) const
{
    int most = 0;
    layoutIdx = 0;
    for (int i = 0; i < layouts.Count(); ++i) {
        const int n = layouts.Get(i)->Buses(direction).Count();
        if (n >= most) {
            most = n;
            layoutIdx = i;
        }
    }
    return most;
}

int IPlugProcessor::MaxChannelsOnBus(int direction, int busIdx) const
{
    const IBusLayout* first = layouts.Get(0);
    if (!first || busIdx < 0)
        return 0;
    const PointerList<IBusSpec>& firstBuses = first->Buses(direction);
    for (int b = 0; b < firstBuses.Count(); ++b) {
        if (firstBuses.Get(b)->channelCount == kWildcardChannels)
            return -1;
    }
    int most = 0;
    for (int i = 0; i < layouts.Count(); ++i) {
        const IBusSpec* bus = layouts.Get(i)->Buses(direction).Get(busIdx);
        if (bus)
            most = std::max(most, bus->channelCount);
    }
    return most;
}

int IPlugProcessor::CountConnectedChannels(int direction) const
{
    int n = 0;
    const PointerList<IChannelSlot>& channels = Channels(direction);
    for (int i = 0; i < channels.Count(); ++i)
        n += channels.Get(i)->connected ? 1 : 0;
    return n;
}

void IPlugProcessor::AimAtScratch(IChannelSlot& slot)
{
    slot.hostBuffer = nullptr;
    *slot.pointerEntry = slot.Scratch();
}

void IPlugProcessor::SetChannelsConnected(int direction, int first, int count, bool connected)
{
    const PointerList<IChannelSlot>& channels = Channels(direction);
    first = std::max(first, 0);
    const int64_t end = std::min<int64_t>(channels.Count(), int64_t(first) + std::max(count, 0));
    for (int i = first; i < end; ++i) {
        IChannelSlot* slot = channels.Get(i);
        slot->connected = connected;
        if (!connected)
            AimAtScratch(*slot);
    }
}

void IPlugProcessor::AttachChannelBuffers(int direction, int first, int count, double** hostBuffers, int nFrames)
{
    const PointerList<IChannelSlot>& channels = Channels(direction);
    first = std::max(first, 0);
    const int64_t end = std::min<int64_t>(channels.Count(), int64_t(first) + std::max(count, 0));
    int next = 0;
    for (int i = first; i < end; ++i) {
        IChannelSlot* slot = channels.Get(i);
        if (!slot->connected)
            continue;
        double* buffer = hostBuffers ? hostBuffers[next] : nullptr;
        ++next;
        slot->hostBuffer = nullptr;
        *slot->pointerEntry = buffer ? buffer : slot->Scratch();
    }
}

void IPlugProcessor::AttachChannelBuffers32(int direction, int first, int count, float** hostBuffers, int nFrames)
{
    const PointerList<IChannelSlot>& channels = Channels(direction);
    first = std::max(first, 0);
    const int64_t end = std::min<int64_t>(channels.Count(), int64_t(first) + std::max(count, 0));
    const bool fits = BlockFits(nFrames);
    int next = 0;
    for (int i = first; i < end; ++i) {
        IChannelSlot* slot = channels.Get(i);
        if (!slot->connected)
            continue;
        float* buffer = hostBuffers ? hostBuffers[next] : nullptr;
        ++next;
        *slot->pointerEntry = slot->Scratch();
        if (direction == kOutput) {
            slot->hostBuffer = buffer;
        } else if (fits && nFrames > 0) {
            // A block longer than the scratch buffers is never converted; processing then
            // silences it instead.
            if (buffer)
                ConvertFloatToDouble(slot->Scratch(), buffer, nFrames);
            else
                std::memset(slot->Scratch(), 0, sizeof(double) * size_t(nFrames));
        }
    }
}

void IPlugProcessor::SilenceConnectedOutputs(int nFrames)
{
    if (nFrames <= 0)
        return;
    for (int i = 0; i < outputChannels.Count(); ++i) {
        IChannelSlot* slot = outputChannels.Get(i);
        if (!slot->connected)
            continue;
        if (slot->hostBuffer)
            std::memset(slot->hostBuffer, 0, sizeof(float) * size_t(nFrames));
        else if (*slot->pointerEntry && *slot->pointerEntry != slot->Scratch())
            std::memset(*slot->pointerEntry, 0, sizeof(double) * size_t(nFrames));
    }
}

void IPlugProcessor::CopyOutputsTo32(int nFrames)
{
    for (int i = 0; i < outputChannels.Count(); ++i) {
        IChannelSlot* slot = outputChannels.Get(i);
        if (slot->connected && slot->hostBuffer && *slot->pointerEntry)
            ConvertDoubleToFloat(slot->hostBuffer, *slot->pointerEntry, nFrames);
    }
}

void IPlugProcessor::ProcessAttachedBuffers(int nFrames)
{
    if (!BlockFits(nFrames)) {
        SilenceConnectedOutputs(nFrames);
        return;
    }
    ProcessAudioBlock(Pointers(kInput), Pointers(kOutput), nFrames);
}

void IPlugProcessor::ProcessAttachedBuffers32(int nFrames)
{
    if (!BlockFits(nFrames)) {
        SilenceConnectedOutputs(nFrames);
        return;
    }
    ProcessAudioBlock(Pointers(kInput), Pointers(kOutput), nFrames);
    CopyOutputsTo32(nFrames);
}

void IPlugProcessor::PassThrough(int nFrames)
{
    if (!BlockFits(nFrames)) {
        SilenceConnectedOutputs(nFrames);
        return;
    }
    LatencyDelay* delay = latencyDelay.get();
    const bool delayReady =
        GetLatency() != 0 && delay && delay->length > 0
        && delay->buffer.Size() >= int64_t(delay->length) * delay->nInputs * int64_t(sizeof(double));
    if (!delayReady) {
        IPlugProcessor::ProcessAudioBlock(Pointers(kInput), Pointers(kOutput), nFrames);
        SpreadMonoInput(nFrames);
        return;
    }

    double** inputs = Pointers(kInput);
    double** outputs = Pointers(kOutput);
    const int nOut = NChannels(kOutput);
    const int nChannels = std::min({delay->nInputs, delay->nOutputs, NChannels(kInput), nOut});
    double* line = delay->Samples();
    for (int f = 0; f < nFrames; ++f) {
        for (int c = 0; c < nChannels; ++c) {
            // The input is read before the output is written: a host may pass one buffer for both.
            const double in = inputs[c] ? inputs[c][f] : 0.0;
            double& stored = line[c * delay->length + delay->writePos];
            if (outputs[c])
                outputs[c][f] = stored;
            stored = in;
        }
        delay->writePos = (delay->writePos + 1) % delay->length;
    }
    // Outputs without an input to delay would otherwise keep whatever the host left in them.
    for (int c = nChannels; c < nOut; ++c) {
        if (outputs && outputs[c])
            std::memset(outputs[c], 0, sizeof(double) * size_t(nFrames));
    }
    SpreadMonoInput(nFrames);
}

void IPlugProcessor::SpreadMonoInput(int nFrames)
{
    // A mono bus on a plug-in that also takes stereo: the one input is heard on every output,
    // as it is when the block is processed, not on the first side only.
    const IChannelSlot* first = GetChannel(kInput, 0);
    if (pluginKind == kPluginInstrument || !first || !first->connected || CountConnectedChannels(kInput) != 1)
        return;
    double** outputs = Pointers(kOutput);
    const int nOut = NChannels(kOutput);
    if (nOut < 1 || !outputs[0])
        return;
    for (int c = 1; c < nOut && c < NChannels(kInput); ++c) {
        if (outputs[c] && outputs[c] != outputs[0] && !GetChannel(kInput, c)->connected)
            std::memcpy(outputs[c], outputs[0], sizeof(double) * size_t(nFrames));
    }
}

void IPlugProcessor::PassThrough32(int nFrames)
{
    PassThrough(nFrames);
    if (BlockFits(nFrames))
        CopyOutputsTo32(nFrames);
}

void IPlugProcessor::ResizeScratchBuffers(int frames)
{
    frames = std::max(frames, 0);
    if (frames == blockSize)
        return;
    const int64_t bytes = int64_t(frames) * int64_t(sizeof(double));
    bool ok = bytes <= int64_t(0x7fffffff);
    for (int direction : {int(kInput), int(kOutput)}) {
        const PointerList<IChannelSlot>& channels = Channels(direction);
        for (int i = 0; i < channels.Count(); ++i) {
            IChannelSlot* slot = channels.Get(i);
            const double* oldScratch = slot->Scratch();
            if (ok) {
                slot->scratch.Resize(int(bytes), true);
                ok = slot->scratch.Size() == int(bytes);
            }
            if (slot->Scratch())
                std::memset(slot->Scratch(), 0, size_t(slot->scratch.Size()));
            // Entries aimed at the old block would dangle once it moved.
            if (!slot->connected || *slot->pointerEntry == oldScratch)
                *slot->pointerEntry = slot->Scratch();
        }
    }
    // When any buffer could not take the new size, no block fits until the next resize.
    blockSize = ok ? frames : 0;
}

void IPlugProcessor::ClearScratchBuffers()
{
    for (int direction : {int(kInput), int(kOutput)}) {
        const PointerList<IChannelSlot>& channels = Channels(direction);
        for (int i = 0; i < channels.Count(); ++i) {
            IChannelSlot* slot = channels.Get(i);
            if (slot->Scratch())
                std::memset(slot->Scratch(), 0, size_t(slot->scratch.Size()));
        }
    }
}

void IPlugProcessor::CreateLatencyDelay()
{
    if (NChannels(kInput) < 1)
        return;
    auto delay = std::make_unique<LatencyDelay>();
    delay->nInputs = NChannels(kInput);
    delay->nOutputs = NChannels(kOutput);
    latencyDelay = std::move(delay);
    ResizeLatencyDelay(GetLatency());
}

void IPlugProcessor::ConvertFloatToDouble(double* dst, const float* src, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = double(src[i]);
}

void IPlugProcessor::ConvertDoubleToFloat(float* dst, const double* src, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = float(src[i]);
}

} // namespace iplug
