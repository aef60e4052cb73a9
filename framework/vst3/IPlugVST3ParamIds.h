#pragma once

// Parameter ids the binding registers beside the plug-in's own (which use their index as id).

#include "pluginterfaces/vst/vsttypes.h"

namespace iplug {

constexpr Steinberg::Vst::ParamID kBypassParamId = 0x10000;
constexpr Steinberg::Vst::ParamID kPresetParamId = 0x10001;
// MIDI controllers: 130 ids per channel (128 control changes, aftertouch, pitch bend).
constexpr Steinberg::Vst::ParamID kMidiCCParamStart = 0x10002;
constexpr int kMidiCCsPerChannel = 130;
constexpr int kMidiAftertouchCC = 128;
constexpr int kMidiPitchBendCC = 129;
constexpr Steinberg::Vst::ProgramListID kFactoryProgramListId = 0x10001;

} // namespace iplug
