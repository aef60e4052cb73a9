#pragma once

// The 41 automatable parameters: one row each, in the order the engine keeps
// their values, the host declares them and the state stores them.

enum ParamIndex : int
{
    kDrive = 0,
    kMode = 1,
    kMacro = 2,
    kShape = 3,
    kChaos = 4,
    kWear = 5,
    kMix = 6,
    kSync = 7,
    kSyncDivision = 8,
    kTremStereoPhase = 9,
    kLegacyEchoFeedback = 10,
    kLegacyEchoRepeats = 11,
    kLoopBuffer = 12,
    kDirtTrimWow = 13,
    kDirtTrimBandwidth = 14,
    kDirtTrimNoise = 15,
    kDirtTrimCrush = 16,
    kChaosSeed = 17,
    kInputGate = 18,
    kTremDepth = 19,
    kDriveVoice = 20,
    kLevel = 21,
    kLoopOctaves = 22,
    kLoopReverse = 23,
    kLoopReach = 24,
    kLoopWidth = 25,
    kLoopFreeze = 26,
    kEchoPreserveStereo = 27,
    kSaveFrozenAudio = 28,
    kRepeatCount = 29,
    kRepeatDecay = 30,
    kRepeatFeedback = 31,
    kRepeatHold = 32,
    kRepeatLatch = 33,
    kRepeatEngine = 34,
    kLoopMonoVoices = 35,
    kLoopLFOMotion = 36,
    kLoopVoices = 37,
    kLoopMotionRate = 38,
    kRepeatGapless = 39,
    kLoopOctaveDir = 40,
    kParamCount = 41
};

struct ParamSpec
{
    const char* name;
    double minValue;
    double maxValue;
    double defaultValue;
};

// Row of a parameter; an index outside the table reads the nearest row.
const ParamSpec& GetParamSpec(int index);

// The whole table, kParamCount rows in ParamIndex order.
const ParamSpec* ParamSpecTable();

// value clamped to the row's range (the caller has checked index and finiteness).
double ClampToParamSpec(int index, double value);
