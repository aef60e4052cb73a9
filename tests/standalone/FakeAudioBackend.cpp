#include "tests/standalone/FakeAudioBackend.h"

#include <windows.h>

#include <chrono>
#include <stdexcept>

AudioBackend::DeviceInfo FakeAudioBackend::Device(const std::string& name, unsigned int ins, unsigned int outs,
                                                  bool defaultOut, std::vector<unsigned int> rates,
                                                  unsigned int preferred)
{
    DeviceInfo info;
    info.probed = true;
    info.name = name;
    info.inputChannels = ins;
    info.outputChannels = outs;
    info.isDefaultOutput = defaultOut;
    info.sampleRates = std::move(rates);
    info.preferredSampleRate = preferred;
    return info;
}

bool FakeAudioBackend::GetDeviceInfo(unsigned int id, DeviceInfo& info)
{
    if (id >= script->devices.size())
        return false;
    info = script->devices[id];
    return info.probed;
}

bool FakeAudioBackend::OpenStream(const StreamDirection& output, const StreamDirection* input, unsigned int sampleRate,
                                  unsigned int& frameCount, StreamCallback cb, void* userData)
{
    OpenRecord record{
        output.deviceId, output.channels, input != nullptr, input ? input->deviceId : 0u, input ? input->channels : 0u,
        sampleRate,      frameCount};
    script->opens.push_back(record);
    if (script->failAllOpens || (input && script->failInputOpen))
        return false;
    // Drivers refuse more channels than the device has.
    DeviceInfo info;
    if (!GetDeviceInfo(output.deviceId, info) || output.channels > info.outputChannels)
        return false;
    if (input && (!GetDeviceInfo(input->deviceId, info) || input->channels > info.inputChannels))
        return false;
    if (script->grantedFrames)
        frameCount = script->grantedFrames;
    frames = frameCount;
    inputChannels = input ? input->channels : 0;
    outputChannels = output.channels;
    callback = cb;
    user = userData;
    open = true;
    return true;
}

bool FakeAudioBackend::StartStream()
{
    if (!open)
        return false;
    running = true;
    if (script->autoRun)
        runner = std::thread([this] {
            std::vector<double> in(size_t(frames) * inputChannels, 0.25);
            while (running) {
                std::vector<double> out(size_t(frames) * outputChannels, 0.0);
                std::fill(in.begin(), in.end(), 0.25);
                callback(out.data(), inputChannels ? in.data() : nullptr, frames, 0.0, 0, user);
                {
                    const std::lock_guard<std::mutex> lock(script->deliveredLock);
                    script->delivered.push_back(std::move(out));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    return true;
}

void FakeAudioBackend::AbortStream()
{
    if (script->throwOnAbort)
        throw std::runtime_error("driver failed");
    while (script->hangOnAbort)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    StopThread();
}

void FakeAudioBackend::StopThread()
{
    running = false;
    if (runner.joinable())
        runner.join();
}

void FakeAudioBackend::Deliver(double* output, double* input, unsigned int frameCount)
{
    callback(output, input, frameCount, 0.0, 0, user);
}

StandaloneHost* FakeAudioBackend::MakeHost(std::shared_ptr<Script> script, const std::wstring& folder,
                                           std::vector<std::string>* errors)
{
    StandaloneHost::Environment environment;
    environment.makeAudio = [script](uint32_t driverType) -> std::unique_ptr<AudioBackend> {
        if (driverType > 1)
            return nullptr;
        if (script->throwWhenMade)
            throw std::bad_alloc();
        ++script->backendsMade;
        return std::make_unique<FakeAudioBackend>(script);
    };
    environment.settingsFolder = folder;
    environment.showError = [errors](const char* text) {
        if (errors)
            errors->push_back(text);
    };
    environment.useMidi = false;
    return StandaloneHost::Create(std::move(environment));
}
