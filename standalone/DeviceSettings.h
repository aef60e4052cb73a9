#pragma once

#include <cstdint>
#include <string>

// The standalone program's device selection: what settings.ini stores and the Preferences
// dialog edits.
struct DeviceSettings
{
    static constexpr uint32_t kDirectSound = 0;
    static constexpr uint32_t kAsio = 1;

    std::string audioInput = "Default Device";
    std::string audioOutput = "Default Device";
    std::string midiInput = "off";
    std::string midiOutput = "off";
    uint32_t driverType = kDirectSound;
    uint32_t sampleRate = 44100;
    uint32_t bufferSize = 512;
    // 0 = all channels, 1..16 one channel. Stored and shown; MIDI is not filtered by them.
    uint32_t midiInChannel = 0;
    uint32_t midiOutChannel = 0;
    // 1-based device channels. Stored and shown; the stream uses the devices' first channels.
    uint32_t inputChannel1 = 1;
    uint32_t inputChannel2 = 2;
    uint32_t outputChannel1 = 1;
    uint32_t outputChannel2 = 2;

    bool operator==(const DeviceSettings& other) const;
    bool operator!=(const DeviceSettings& other) const { return !(*this == other); }
};
