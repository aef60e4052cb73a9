// Feeds arbitrary bytes to the frozen-loop reader, and plays every loop it
// accepts through an engine. Each input is used twice: as a blob of its own, and
// as byte edits to a valid blob, so that the fuzzer also reaches the checks deep
// inside the state (a random blob almost never gets past the history counts).
// Any crash, sanitizer report, non-finite output or blob that does not survive
// its own round trip stops the run.
#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/state/FrozenLoopBlob.h"
#include "tests/engine/state/FrozenLoopFixture.h"

namespace {

constexpr double kRate = 8000.0;
constexpr int kBlock = 128;
constexpr int kBlocks = 6;

void Fail(const char* what)
{
    std::fprintf(stderr, "frozen-loop fuzz: %s\n", what);
    std::abort();
}

// The valid blob the edits apply to, and the byte ranges worth editing: the
// header and everything after the histories (the state and the shifter tails).
struct Template
{
    std::vector<uint8_t> blob;
    std::vector<std::pair<size_t, size_t>> ranges;
    size_t editable = 0;

    Template()
    {
        auto loop = FrozenLoopFixture::MakeHandFrozenLoop(kRate);
        EditState(*loop, [](LoopsMode::State& state) {
            state.shifterOwner = 2;
            state.voices[2].pitchShifted = 1;
        });
        blob = EncodeFrozenLoop(*loop);
        if (blob.empty())
            Fail("template loop does not encode");
        const size_t history = static_cast<size_t>(loop->HistoryLength());
        const size_t shifter = static_cast<size_t>(loop->GetState().shifters[0].CurrentState().length);
        const size_t state = 24 + 8 * history;
        const size_t shifter0 = state + 2784;
        const size_t shifter1 = shifter0 + 96 + 4 * shifter;
        ranges = {{0, 24},
                  {state, shifter0 + 20},
                  {shifter0 + 20 + 4 * shifter, shifter1 + 20},
                  {shifter1 + 20 + 4 * shifter, blob.size()}};
        for (const auto& r : ranges)
            editable += r.second - r.first;
    }

    size_t Offset(size_t k) const
    {
        k %= editable;
        for (const auto& r : ranges) {
            if (k < r.second - r.first)
                return r.first + k;
            k -= r.second - r.first;
        }
        return 0;
    }
};

const Template& GetTemplate()
{
    static const Template t;
    return t;
}

EffectEngine& GetEngine()
{
    static const std::unique_ptr<EffectEngine> engine = [] {
        auto e = std::make_unique<EffectEngine>();
        FrozenLoopFixture::SetLoopParams(*e, 1.0);
        e->SetParam(kChaos, 1.0);
        e->SetParam(kShape, 1.0);
        e->SetParam(kLoopOctaves, 1.0);
        e->SetParam(kLoopReverse, 0.7);
        e->SetParam(kLoopReach, 1.0);
        e->Prepare(kRate, kBlock);
        return e;
    }();
    return *engine;
}

// Decodes a blob; when it is accepted, checks that it encodes back to the same
// bytes and plays it.
void Exercise(const uint8_t* data, size_t size, uint8_t flavour)
{
    std::unique_ptr<LoopsMode> loop = DecodeFrozenLoop(data, size);
    if (!loop)
        return;
    if (EncodeFrozenLoop(*loop) != std::vector<uint8_t>(data, data + size))
        Fail("accepted blob does not encode back to itself");
    loop.reset();

    EffectEngine& engine = GetEngine();
    engine.SetParam(kLoopLFOMotion, flavour & 1);
    engine.SetParam(kLoopOctaveDir, (flavour >> 1) % 3);
    engine.SetParam(kLoopMonoVoices, (flavour >> 3) & 1);
    // One preparation serves every run: each restore replaces the whole loop,
    // which is all the blob decides.
    if (!engine.RestoreFrozenLoop(data, size, kRate))
        Fail("accepted blob was not restored");
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    for (int b = 0; b < kBlocks; ++b) {
        for (int i = 0; i < kBlock; ++i) {
            inL[i] = 0.25f * std::sin(0.05f * static_cast<float>(b * kBlock + i));
            inR[i] = -inL[i];
        }
        engine.Process(inL.data(), inR.data(), outL.data(), outR.data(), kBlock);
        for (int i = 0; i < kBlock; ++i)
            if (!std::isfinite(outL[i]) || !std::isfinite(outR[i]))
                Fail("non-finite output from an accepted loop");
    }
    if (!engine.LoopRecordingStopped())
        Fail("accepted loop was not installed frozen");
    engine.DiscardPendingLoop();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);

    Exercise(data, size, size > 0 ? data[0] : 0);

    // Edits: three bytes each, an offset into the editable ranges and a value.
    const Template& t = GetTemplate();
    std::vector<uint8_t> blob = t.blob;
    for (size_t i = 0; i + 3 <= size; i += 3) {
        const size_t k = static_cast<size_t>(data[i]) | static_cast<size_t>(data[i + 1]) << 8;
        blob[t.Offset(k)] = data[i + 2];
    }
    // A leftover byte trims or extends the blob a little.
    if (size % 3 == 1)
        blob.resize(blob.size() - (data[size - 1] & 7) + ((data[size - 1] >> 3) & 7));
    Exercise(blob.data(), blob.size(), size > 1 ? data[1] : 0);
    return 0;
}
