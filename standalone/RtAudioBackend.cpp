#include "standalone/RtAudioBackend.h"

#include "RtAudio.h"

#include <cstdio>
#include <exception>

namespace {

void AudioErrorCallback(RtAudioError::Type, const std::string& text)
{
    std::fprintf(stderr, "\nerrorCallback: %s\n\n", text.c_str());
}

// Runs an RtAudio call; any exception becomes the fallback answer.
template <class F, class R>
R Guarded(F&& call, R fallback)
{
    try {
        return call();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "\nerrorCallback: %s\n\n", e.what());
    } catch (...) {
    }
    return fallback;
}

// The same for calls that answer nothing.
template <class F>
void GuardedCall(F&& call)
{
    Guarded(
        [&] {
            call();
            return true;
        },
        false);
}

} // namespace

RtAudioBackend::RtAudioBackend()
{
    try {
        audio = std::make_unique<RtAudio>(RtAudio::WINDOWS_DS);
    } catch (...) {
        audio.reset();
    }
}

RtAudioBackend::~RtAudioBackend()
{
    if (!audio)
        return;
    if (IsStreamRunning())
        AbortStream();
    if (IsStreamOpen())
        CloseStream();
}

unsigned int RtAudioBackend::DeviceCount()
{
    return audio ? Guarded([&] { return audio->getDeviceCount(); }, 0u) : 0u;
}

bool RtAudioBackend::GetDeviceInfo(unsigned int id, DeviceInfo& info)
{
    info = DeviceInfo();
    if (!audio)
        return false;
    return Guarded(
        [&] {
            const RtAudio::DeviceInfo found = audio->getDeviceInfo(id);
            info.probed = found.probed;
            info.name = found.name;
            info.outputChannels = found.outputChannels;
            info.inputChannels = found.inputChannels;
            info.isDefaultOutput = found.isDefaultOutput;
            info.isDefaultInput = found.isDefaultInput;
            info.sampleRates = found.sampleRates;
            info.preferredSampleRate = found.preferredSampleRate;
            return found.probed;
        },
        false);
}

bool RtAudioBackend::OpenStream(const StreamDirection& output, const StreamDirection* input, unsigned int sampleRate,
                                unsigned int& frames, StreamCallback callback, void* user)
{
    if (!audio)
        return false;
    return Guarded(
        [&] {
            RtAudio::StreamParameters out;
            out.deviceId = output.deviceId;
            out.nChannels = output.channels;
            out.firstChannel = 0;
            RtAudio::StreamParameters in;
            if (input) {
                in.deviceId = input->deviceId;
                in.nChannels = input->channels;
                in.firstChannel = 0;
            }
            RtAudio::StreamOptions options;
            options.flags = RTAUDIO_NONINTERLEAVED;
            audio->openStream(&out, input ? &in : nullptr, RTAUDIO_FLOAT64, sampleRate, &frames, callback, user,
                              &options, AudioErrorCallback);
            return audio->isStreamOpen();
        },
        false);
}

bool RtAudioBackend::StartStream()
{
    // Starting a stream the library has closed after an error crashes inside it.
    if (!audio || !IsStreamOpen())
        return false;
    GuardedCall([&] {
        if (!audio->isStreamRunning())
            audio->startStream();
    });
    return IsStreamRunning();
}

void RtAudioBackend::StopStream()
{
    if (audio && IsStreamRunning())
        GuardedCall([&] { audio->stopStream(); });
}

void RtAudioBackend::AbortStream()
{
    if (audio && IsStreamRunning())
        GuardedCall([&] { audio->abortStream(); });
}

void RtAudioBackend::CloseStream()
{
    if (audio && IsStreamOpen())
        GuardedCall([&] { audio->closeStream(); });
}

bool RtAudioBackend::IsStreamOpen()
{
    return audio && Guarded([&] { return audio->isStreamOpen(); }, false);
}

bool RtAudioBackend::IsStreamRunning()
{
    return audio && Guarded([&] { return audio->isStreamRunning(); }, false);
}
