#include "engine/RepeatMode.h"

void RepeatMode::Prepare(double, int) {}
void RepeatMode::Reset() {}
void RepeatMode::SetControls(double, double) {}
void RepeatMode::Process(float*, float*, int, DriftContext&) {}
void RepeatMode::SetTime(double) {}
void RepeatMode::SetTempoSync(const TempoSyncInfo& info) { sync = info; }
void RepeatMode::FeedIdle(const float*, const float*, int) {}
