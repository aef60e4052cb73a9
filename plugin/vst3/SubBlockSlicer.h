#pragma once

#include "plugin/vst3/Changes.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace MarlquinVST3 {

// Cuts a host block at every offset where a parameter changes, so that automation takes effect
// at its exact sample: each sub-block is handed on with its own single-point parameter changes
// (the values at its first frame), shifted channel pointers and a transport moved to its start.
// Everything lives on the stack; nothing allocates.
class SubBlockSlicer
{
public:
    // Queues beyond this many are walked from their first point in every sub-block.
    static constexpr int kCursorQueues = 64;

    // Runs process(ProcessData&) once per sub-block, or once with the host's data when the
    // block cannot be sliced (no parameter changes, no frames, other than one stereo-or-mono
    // bus each way). setupRate stands in when the host's context carries no sample rate.
    // A sub-block that fails ends the call with its result.
    template <class Process>
    static Steinberg::tresult Run(Steinberg::Vst::ProcessData& data, double setupRate, Process&& process)
    {
        if (PassesThrough(data))
            return process(data);

        Cursor cursors[kCursorQueues];
        Steinberg::Vst::IParameterChanges& hostChanges = *data.inputParameterChanges;
        const Steinberg::int32 queues = hostChanges.getParameterCount();
        ScanOrder(hostChanges, queues, cursors);

        SubBlock sub;
        for (Steinberg::int32 start = 0; start < data.numSamples;) {
            const Steinberg::int32 end =
                CollectChanges(hostChanges, queues, cursors, start, data.numSamples, sub.changes);
            sub.Build(data, start, end, setupRate);
            const Steinberg::tresult result = process(sub.data);
            if (result != Steinberg::kResultOk)
                return result;
            start = end;
        }
        data.outputs[0].silenceFlags = 0;
        return Steinberg::kResultOk;
    }

private:
    struct Cursor
    {
        Steinberg::int32 readIndex = 0;
        bool inOrder = true;
    };

    // One sub-block's process data and the copies it points at.
    struct SubBlock
    {
        static constexpr int kMaxChannels = 2;

        void Build(const Steinberg::Vst::ProcessData& host, Steinberg::int32 start, Steinberg::int32 end,
                   double setupRate);

        Steinberg::Vst::ProcessData data;
        Changes changes;
        Steinberg::Vst::AudioBusBuffers input;
        Steinberg::Vst::AudioBusBuffers output;
        void* inputChannels[kMaxChannels];
        void* outputChannels[kMaxChannels];
        Steinberg::Vst::ProcessContext context;
    };

    static bool PassesThrough(const Steinberg::Vst::ProcessData& data);
    static void ScanOrder(Steinberg::Vst::IParameterChanges& changes, Steinberg::int32 queues, Cursor* cursors);
    // Fills out with the values at start and answers where the sub-block ends.
    static Steinberg::int32 CollectChanges(Steinberg::Vst::IParameterChanges& changes, Steinberg::int32 queues,
                                           Cursor* cursors, Steinberg::int32 start, Steinberg::int32 numSamples,
                                           Changes& out);
};

} // namespace MarlquinVST3
