#pragma once

#include "standalone/AudioBackend.h"
#include "standalone/StandaloneHost.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted audio library: a fixed device list, a record of every stream opened, and
// callbacks run either by the test (Deliver) or, when autoRun is on, by a thread that calls
// the stream callback back to back while the stream runs, as a device would.
class FakeAudioBackend : public AudioBackend
{
public:
    struct OpenRecord
    {
        unsigned int outputId = 0;
        unsigned int outputChannels = 0;
        bool withInput = false;
        unsigned int inputId = 0;
        unsigned int inputChannels = 0;
        unsigned int sampleRate = 0;
        unsigned int frames = 0;
    };

    // What the test arranges; shared with every backend the host makes.
    struct Script
    {
        std::vector<DeviceInfo> devices;
        bool failInputOpen = false;
        bool failAllOpens = false;
        bool autoRun = false;
        // Frames the library grants instead of the size asked for (0: as asked).
        unsigned int grantedFrames = 0;
        // AbortStream blocks until this turns false.
        std::atomic<bool> hangOnAbort{false};
        bool throwOnAbort = false;
        // Making the library throws, as an allocation that fails does: the host's callers must
        // cope with it.
        bool throwWhenMade = false;
        std::vector<OpenRecord> opens;
        int backendsMade = 0;
        // Threads that made and deleted the last backend; the real library enters COM on the one
        // and leaves it on the other.
        std::thread::id madeOn;
        std::thread::id deletedOn;
        // Output of the callbacks run by the autoRun thread, one buffer per callback.
        std::vector<std::vector<double>> delivered;
        std::mutex deliveredLock;
    };

    explicit FakeAudioBackend(std::shared_ptr<Script> script) : script(std::move(script))
    {
        this->script->madeOn = std::this_thread::get_id();
    }
    ~FakeAudioBackend() override
    {
        StopThread();
        script->deletedOn = std::this_thread::get_id();
    }

    static DeviceInfo Device(const std::string& name, unsigned int ins, unsigned int outs, bool defaultOut = false,
                             std::vector<unsigned int> rates = {44100, 48000}, unsigned int preferred = 48000);

    unsigned int DeviceCount() override { return unsigned(script->devices.size()); }
    bool GetDeviceInfo(unsigned int id, DeviceInfo& info) override;
    bool OpenStream(const StreamDirection& output, const StreamDirection* input, unsigned int sampleRate,
                    unsigned int& frames, StreamCallback callback, void* user) override;
    bool StartStream() override;
    void StopStream() override { StopThread(); }
    void AbortStream() override;
    void CloseStream() override { open = false; }
    bool IsStreamOpen() override { return open; }
    bool IsStreamRunning() override { return running; }

    // The device fails while the stream runs: the library stops the stream by itself, as RtAudio
    // does after a system error.
    void FailWhileRunning() { StopThread(); }
    // Runs one callback on the test's thread with these buffers.
    void Deliver(double* output, double* input, unsigned int frames);
    const OpenRecord& LastOpen() const { return script->opens.back(); }

    // A host over a script; the host's settings live in folder (created when missing).
    static StandaloneHost* MakeHost(std::shared_ptr<Script> script, const std::wstring& folder,
                                    std::vector<std::string>* errors = nullptr);

private:
    void StopThread();

    std::shared_ptr<Script> script;
    StreamCallback callback = nullptr;
    void* user = nullptr;
    unsigned int frames = 0;
    unsigned int inputChannels = 0;
    unsigned int outputChannels = 0;
    bool open = false;
    std::atomic<bool> running{false};
    std::thread runner;
};
