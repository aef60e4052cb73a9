#pragma once

#include "standalone/AudioBackend.h"

#include <memory>

class RtAudio;

// AudioBackend over RtAudio with DirectSound. The library reports failures by exception;
// every one is caught here and becomes a false answer. The library enters COM on the thread
// that constructs it and leaves it on the thread that destroys it: one thread does both.
class RtAudioBackend : public AudioBackend
{
public:
    RtAudioBackend();
    ~RtAudioBackend() override;

    unsigned int DeviceCount() override;
    bool GetDeviceInfo(unsigned int id, DeviceInfo& info) override;
    bool OpenStream(const StreamDirection& output, const StreamDirection* input, unsigned int sampleRate,
                    unsigned int& frames, StreamCallback callback, void* user) override;
    bool StartStream() override;
    void StopStream() override;
    void AbortStream() override;
    void CloseStream() override;
    bool IsStreamOpen() override;
    bool IsStreamRunning() override;

private:
    std::unique_ptr<RtAudio> audio;
};
