#pragma once
// The engine built with the exact library maths (MARLQUIN_REFERENCE_MATHS), in a shared
// library of its own: its classes carry the same names as the shipped engine's, so the
// two can only run side by side in one process when the reference copy stays hidden
// behind this small C interface.
#if defined(_WIN32)
#if defined(MARLQUIN_REFERENCE_ENGINE_BUILD)
#define MARLQUIN_REFERENCE_API __declspec(dllexport)
#else
#define MARLQUIN_REFERENCE_API __declspec(dllimport)
#endif
#else
#define MARLQUIN_REFERENCE_API __attribute__((visibility("default")))
#endif

extern "C" {
MARLQUIN_REFERENCE_API void* ReferenceEngineCreate();
MARLQUIN_REFERENCE_API void ReferenceEngineDestroy(void* engine);
MARLQUIN_REFERENCE_API void ReferenceEngineSetParam(void* engine, int index, double value);
MARLQUIN_REFERENCE_API void ReferenceEngineSetTempo(void* engine, double bpm);
MARLQUIN_REFERENCE_API void ReferenceEnginePrepare(void* engine, double sampleRate, int maxBlockSize);
MARLQUIN_REFERENCE_API void ReferenceEngineProcess(void* engine, const float* inL, const float* inR, float* outL,
                                                   float* outR, int n);
}

// The reference engine with the calls of EffectEngine that renders need, so one
// template drives either.
class ReferenceEngine
{
public:
    ReferenceEngine() : engine(ReferenceEngineCreate()) {}
    ~ReferenceEngine() { ReferenceEngineDestroy(engine); }
    ReferenceEngine(const ReferenceEngine&) = delete;
    ReferenceEngine& operator=(const ReferenceEngine&) = delete;

    void SetParam(int index, double value) { ReferenceEngineSetParam(engine, index, value); }
    void SetTempo(double bpm) { ReferenceEngineSetTempo(engine, bpm); }
    void Prepare(double sampleRate, int maxBlockSize) { ReferenceEnginePrepare(engine, sampleRate, maxBlockSize); }
    void Process(const float* inL, const float* inR, float* outL, float* outR, int n)
    {
        ReferenceEngineProcess(engine, inL, inR, outL, outR, n);
    }

private:
    void* engine;
};
