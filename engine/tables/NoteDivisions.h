#pragma once

// The tempo divisions (lengths in quarter notes, indexed by the rounded Sync
// Division) and the functions that turn a division into seconds. Pure and
// stateless: callable from any thread.

constexpr int kNoteDivisionCount = 16;

extern const double NoteDivisions[kNoteDivisionCount];

// Tempo actually used for a host tempo: 120 when not finite, else 20..999 BPM.
double EffectiveTempo(double bpm);

// Index into NoteDivisions for a division number; with tableOrder false the
// straight and dotted divisions are reversed (larger number, faster rate).
int ResolveDivisionIndex(bool tableOrder, int index);

// freeSeconds when not synced, else the division's length at the tempo.
double DivisionSeconds(double freeSeconds, bool sync, int division, double bpm);

// The longest division not above the one given that lasts at most 1.2 s.
int LimitDivisionForRepeat(int division, double bpm);

// Legacy echo time for a MACRO value: free 0.05..1.2 s, or the synced division,
// clamped to 0.01..1.2 s.
double SyncedSeconds(double bpm, double macro, bool sync, int division);

// The time in seconds that MACRO stands for in a mode, as the engine plays it.
double MacroReadoutValue(int mode, double macro, bool sync, int division, double bpm, double sampleRate,
                         bool repeatEngine);
