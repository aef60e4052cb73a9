#include "plugin/vst3/SubBlockSlicer.h"

#include <algorithm>
#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace MarlquinVST3 {

namespace {

bool SlicableBus(const AudioBusBuffers& bus)
{
    return bus.numChannels >= 0 && bus.numChannels <= 2 && (bus.numChannels == 0 || bus.channelBuffers64);
}

// The point's offset, or -1 when it cannot be used.
int32 UsableOffset(IParamValueQueue& queue, int32 index, ParamValue& value)
{
    int32 offset = 0;
    if (queue.getPoint(index, offset, value) != kResultOk || !std::isfinite(value))
        return -1;
    return std::max(offset, 0);
}

bool MovesWithinBlock(const ProcessContext& context)
{
    constexpr uint32 kMoving = ProcessContext::kPlaying | ProcessContext::kProjectTimeMusicValid;
    return (context.state & kMoving) == kMoving;
}

void CopyShiftedBus(const AudioBusBuffers& host, AudioBusBuffers& copy, void** channels, int32 start, bool is64)
{
    copy = host;
    if (!host.channelBuffers64)
        return;
    for (int32 c = 0; c < host.numChannels; ++c) {
        if (is64)
            channels[c] = host.channelBuffers64[c] ? host.channelBuffers64[c] + start : nullptr;
        else
            channels[c] = host.channelBuffers32[c] ? host.channelBuffers32[c] + start : nullptr;
    }
    copy.channelBuffers64 = reinterpret_cast<Sample64**>(channels);
}

} // namespace

bool SubBlockSlicer::PassesThrough(const ProcessData& data)
{
    return !data.inputParameterChanges || data.numSamples < 1 || data.numInputs != 1 || data.numOutputs != 1
           || !data.inputs || !data.outputs || !SlicableBus(data.inputs[0]) || !SlicableBus(data.outputs[0]);
}

void SubBlockSlicer::ScanOrder(IParameterChanges& changes, int32 queues, Cursor* cursors)
{
    const int32 tracked = std::min<int32>(queues, kCursorQueues);
    for (int32 q = 0; q < tracked; ++q) {
        IParamValueQueue* queue = changes.getParameterData(q);
        if (!queue)
            continue;
        const int32 points = queue->getPointCount();
        int32 previous = -1;
        for (int32 i = 0; i < points; ++i) {
            ParamValue value = 0.0;
            const int32 offset = UsableOffset(*queue, i, value);
            if (offset < 0)
                continue;
            if (offset < previous) {
                cursors[q].inOrder = false;
                break;
            }
            previous = offset;
        }
    }
}

int32 SubBlockSlicer::CollectChanges(IParameterChanges& changes, int32 queues, Cursor* cursors, int32 start,
                                     int32 numSamples, Changes& out)
{
    int32 end = numSamples;
    out.Reset();
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = changes.getParameterData(q);
        if (!queue)
            continue;
        Cursor* cursor = q < kCursorQueues && cursors[q].inOrder ? &cursors[q] : nullptr;
        const int32 points = queue->getPointCount();
        bool found = false;
        ParamValue atStart = 0.0;
        for (int32 i = cursor ? cursor->readIndex : 0; i < points; ++i) {
            if (cursor)
                cursor->readIndex = i + 1;
            ParamValue value = 0.0;
            const int32 offset = UsableOffset(*queue, i, value);
            if (offset < 0)
                continue;
            if (offset == start) {
                atStart = value;
                found = true;
            } else if (offset > start) {
                end = std::min(end, offset);
                // The next sub-block starts no later than this point, so it reads it again.
                if (cursor)
                    cursor->readIndex = i;
                break;
            }
        }
        if (found)
            out.Add(queue->getParameterId(), atStart);
    }
    return end;
}

void SubBlockSlicer::SubBlock::Build(const ProcessData& host, int32 start, int32 end, double setupRate)
{
    const bool is64 = host.symbolicSampleSize == kSample64;
    data = host;
    data.numSamples = end - start;
    data.inputParameterChanges = &changes;
    CopyShiftedBus(host.inputs[0], input, inputChannels, start, is64);
    CopyShiftedBus(host.outputs[0], output, outputChannels, start, is64);
    data.inputs = &input;
    data.outputs = &output;
    if (host.processContext) {
        context = *host.processContext;
        // A stopped transport stands still for the whole block; moving it would make synced
        // effects re-lock at every cut.
        if (MovesWithinBlock(context)) {
            context.projectTimeSamples += start;
            const double rate = context.sampleRate > 0.0 ? context.sampleRate : setupRate;
            if (rate > 0.0 && std::isfinite(context.tempo) && context.tempo > 0.0)
                context.projectTimeMusic += start * context.tempo / (rate * 60.0);
        }
        data.processContext = &context;
    }
}

} // namespace MarlquinVST3
