#pragma once
// Read-only views of an engine's inner stages for the engine tests: what the
// engine hands its modes, where its crossfades stand and what the hand-over
// holds. Nothing here changes the engine.
#include "engine/EffectEngine.h"

class EffectEngineProbe
{
public:
    explicit EffectEngineProbe(const EffectEngine& engine) : engine(engine) {}

    const DriveStage& Drive() const { return engine.drive; }
    const WearStage& Wear() const { return engine.wear; }
    const LoopsMode& LiveLoop() const { return engine.liveLoop; }
    const TremMode& Trem() const { return engine.trem; }
    const RepeatMode& Repeat() const { return engine.repeat; }
    const EchoMode& Echo() const { return engine.echo; }
    const EchoMode& EchoLeft() const { return engine.echoLeft; }
    const EchoMode& EchoRight() const { return engine.echoRight; }
    const DriftContext& Drift() const { return engine.drift; }
    const FrozenLoopHandover& Handover() const { return engine.handover; }
    const TempoSyncBuilder& TempoSync() const { return engine.tempoSync; }
    // The records handed to the modes for the last sample processed.
    const TempoSyncInfo& TremSync() const { return engine.tremSync; }
    const TempoSyncInfo& ModeSync() const { return engine.modeSync; }
    // Crossfade weight of a mode slot, and the weight the last sample was mixed with.
    double ModeWeight(int slot) const { return engine.modeWeight[slot].current; }
    float MixedWeight(int slot) const { return engine.weights[slot][0]; }
    double RepeatEngineMix() const { return engine.repeatEngineMix.current; }
    double StereoMix() const { return engine.stereoMix.current; }
    double MixAmount() const { return engine.mixAmount.current; }
    double LevelGain() const { return engine.levelGain.current; }
    // Samples processed since the preparation.
    uint32_t ChunkCounter() const { return engine.chunkCounter; }
    size_t ScratchLength() const { return engine.workL.size(); }

private:
    const EffectEngine& engine;
};
