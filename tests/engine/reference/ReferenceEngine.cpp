#include "tests/engine/reference/ReferenceEngine.h"

#include "engine/EffectEngine.h"

namespace {
EffectEngine& Engine(void* engine)
{
    return *static_cast<EffectEngine*>(engine);
}
} // namespace

void* ReferenceEngineCreate()
{
    return new EffectEngine();
}

void ReferenceEngineDestroy(void* engine)
{
    delete static_cast<EffectEngine*>(engine);
}

void ReferenceEngineSetParam(void* engine, int index, double value)
{
    Engine(engine).SetParam(index, value);
}

void ReferenceEngineSetTempo(void* engine, double bpm)
{
    Engine(engine).SetTempo(bpm);
}

void ReferenceEnginePrepare(void* engine, double sampleRate, int maxBlockSize)
{
    Engine(engine).Prepare(sampleRate, maxBlockSize);
}

void ReferenceEngineProcess(void* engine, const float* inL, const float* inR, float* outL, float* outR, int n)
{
    Engine(engine).Process(inL, inR, outL, outR, n);
}
