#include "standalone/DeviceSettings.h"

#include <tuple>

namespace {

auto Fields(const DeviceSettings& s)
{
    return std::tie(s.audioInput, s.audioOutput, s.midiInput, s.midiOutput, s.driverType, s.sampleRate, s.bufferSize,
                    s.midiInChannel, s.midiOutChannel, s.inputChannel1, s.inputChannel2, s.outputChannel1,
                    s.outputChannel2);
}

} // namespace

bool DeviceSettings::operator==(const DeviceSettings& other) const
{
    return Fields(*this) == Fields(other);
}
