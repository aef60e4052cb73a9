#pragma once

#include <string>
#include <vector>

// The audio library as the host uses it: device listing and one stream. The program uses the
// RtAudio implementation; tests put a scripted one in its place. No operation throws.
class AudioBackend
{
public:
    // Same shape as the audio library's callback: non-interleaved 64-bit samples.
    using StreamCallback = int (*)(void* output, void* input, unsigned int frames, double streamTime,
                                   unsigned int status, void* user);

    struct DeviceInfo
    {
        bool probed = false;
        std::string name;
        unsigned int outputChannels = 0;
        unsigned int inputChannels = 0;
        bool isDefaultOutput = false;
        bool isDefaultInput = false;
        std::vector<unsigned int> sampleRates;
        unsigned int preferredSampleRate = 0;
    };

    struct StreamDirection
    {
        unsigned int deviceId = 0;
        unsigned int channels = 0;
    };

    virtual ~AudioBackend() = default;

    virtual unsigned int DeviceCount() = 0;
    // False when the device cannot be asked; info is then left unprobed.
    virtual bool GetDeviceInfo(unsigned int id, DeviceInfo& info) = 0;
    // input null opens an output-only stream; frames may be changed by the library.
    virtual bool OpenStream(const StreamDirection& output, const StreamDirection* input, unsigned int sampleRate,
                            unsigned int& frames, StreamCallback callback, void* user) = 0;
    virtual bool StartStream() = 0;
    virtual void StopStream() = 0;
    virtual void AbortStream() = 0;
    virtual void CloseStream() = 0;
    virtual bool IsStreamOpen() = 0;
    virtual bool IsStreamRunning() = 0;
    // Opens the driver's own control panel where the driver has one.
    virtual void ShowControlPanel() {}
};
