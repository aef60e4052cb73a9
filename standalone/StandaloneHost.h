#pragma once

#include "framework/app/IPlugAPP.h"
#include "standalone/AudioBackend.h"
#include "standalone/DeviceBlockSlicer.h"
#include "standalone/DeviceSettings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

// The standalone program's one host object: it owns the plug-in object, the audio stream and
// the MIDI ports, cuts device buffers into 64-frame blocks for the plug-in, fades the sound in
// and out, and keeps the device selection. One per process, reached through Global().
class StandaloneHost : public iplug::IPlugAPPHost
{
public:
    enum Direction
    {
        kInputDevice,
        kOutputDevice
    };

    // What the program's surroundings supply; tests replace each part.
    struct Environment
    {
        // Makes the audio library for a driver type; null for a type it does not know.
        std::function<std::unique_ptr<AudioBackend>(uint32_t driverType)> makeAudio;
        // Folder of settings.ini with a trailing backslash; empty means the user's one.
        std::wstring settingsFolder;
        // Shows an error to the user.
        std::function<void(const char* text)> showError;
        // Creates the MIDI ports; off in tests that must not touch the system's MIDI.
        bool useMidi = true;
    };

    static constexpr uint32_t kMaxMidiMessage = 512;
    static constexpr const char* kCheckAudioSettings = "Please check the audio settings";

    // Makes a host the global one; a previous global host is destroyed.
    static StandaloneHost* Create(Environment environment);
    static StandaloneHost* Global();
    // Takes the global host out of the global pointer, without destroying it.
    static StandaloneHost* ReleaseGlobal();
    // The environment of the program: RtAudio with DirectSound, the user's folder, a message box.
    static Environment SystemEnvironment();

    explicit StandaloneHost(Environment environment);
    ~StandaloneHost() override;
    StandaloneHost(const StandaloneHost&) = delete;
    StandaloneHost& operator=(const StandaloneHost&) = delete;

    bool Init();
    bool LoadSettings();
    void SaveSettings();
    void CreateAudioBackend();
    void ProbeAudioDevices();
    std::string DeviceDisplayName(unsigned int id);
    static std::string DisplayNameOf(const std::string& deviceName);
    std::optional<unsigned int> FindAudioDevice(const std::string& name, Direction direction);
    uint32_t ChooseSampleRate(std::optional<unsigned int> input, std::optional<unsigned int> output);
    bool ApplyAudioSettings();
    bool OpenAudio(std::optional<unsigned int> input, unsigned int output, uint32_t rate, uint32_t frames);
    void StopAudio();
    // UI thread, now and then: a stream that stopped without being stopped (its device failed
    // or went away) is closed and the user is told, once. False when that happened.
    bool CheckAudioStream();
    void CreateMidiPorts();
    void ProbeMidiPorts();
    int FindMidiPort(bool output, const std::string& name) const;
    bool SelectMidiDevice(bool output, const std::string& name);
    void OpenEditor(void* parentWindow);
    void CloseEditor();
    // Closes the stream and the MIDI ports, from any thread: the shutdown worker runs it. The
    // audio library object itself stays for the destructor (see the definition).
    void Teardown();

    // Audio library's thread.
    static int StreamCallback(void* output, void* input, unsigned int frames, double streamTime, unsigned int status,
                              void* user);
    // MIDI library's thread: one incoming message.
    void HandleMidiMessage(const uint8_t* bytes, size_t size);
    static void ApplyFade(double* samples, int channels, int n, bool fadeOut);

    bool SendMidiBytes(const uint8_t* bytes, int size) override;
    bool ResizeHostWindow(int width, int height) override;
    // The main window installs how it resizes itself to a client size; cleared when it goes.
    void SetWindowResizer(std::function<bool(int width, int height)> resizer) { windowResizer = std::move(resizer); }

    iplug::IPlugAPP* Plugin() const { return plugin.get(); }
    AudioBackend* Audio() const { return audio.get(); }
    bool GetDeviceInfo(unsigned int id, AudioBackend::DeviceInfo& info);
    bool StreamRunning();
    void SetOwnerWindow(void* window) { ownerWindow = window; }
    void* OwnerWindow() const { return ownerWindow; }
    void MarkExiting() { exiting.store(1); }

    DeviceSettings settings;
    DeviceSettings savedSettings;
    DeviceSettings activeSettings;

    const std::vector<unsigned int>& InputDevices() const { return inputDevices; }
    const std::vector<unsigned int>& OutputDevices() const { return outputDevices; }
    const std::vector<std::string>& MidiInputNames() const { return midiInputNames; }
    const std::vector<std::string>& MidiOutputNames() const { return midiOutputNames; }
    bool HasMidi() const { return midiIn && midiOut; }
    const std::wstring& SettingsPath() const { return settingsPath; }
    double SampleRate() const { return sampleRate; }
    uint32_t BufferFrames() const { return bufferFrames; }
    uint32_t SamplesElapsed() const { return samplesElapsed.load(std::memory_order_relaxed); }
    int StreamInputChannels() const { return streamInputChannels; }
    int StreamOutputChannels() const { return streamOutputChannels; }
    bool Done() const { return done.load() != 0; }

private:
    void RunStreamCallback(double* output, double* input, int n);
    std::optional<unsigned int> DefaultDevice(Direction direction) const;
    unsigned int InputChannelsToOpen(std::optional<unsigned int> input);
    bool OpenStreamWithFallback(std::optional<unsigned int> input, unsigned int output, uint32_t rate);
    void CloseMidiInput();
    void CloseMidiOutput();

    Environment environment;
    std::unique_ptr<iplug::IPlugAPP> plugin;
    std::unique_ptr<AudioBackend> audio;
    std::unique_ptr<RtMidiIn> midiIn;
    std::unique_ptr<RtMidiOut> midiOut;
    double sampleRate = 44100.0;
    std::atomic<uint32_t> samplesElapsed{0};
    uint32_t callbackCount = 0;
    uint32_t bufferFrames = 512;
    int streamInputChannels = 0;
    int streamOutputChannels = 0;
    std::atomic<uint8_t> exiting{0};
    std::atomic<uint8_t> ending{0};
    std::atomic<uint8_t> done{0};
    // Set when a stream starts, cleared when the host stops it (UI thread only).
    bool streamStarted = false;
    std::optional<unsigned int> defaultInput;
    std::optional<unsigned int> defaultOutput;
    std::wstring settingsPath;
    std::vector<unsigned int> inputDevices;
    std::vector<unsigned int> outputDevices;
    std::vector<std::string> midiInputNames{"off"};
    std::vector<std::string> midiOutputNames{"off"};
    DeviceBlockSlicer slicer;
    void* ownerWindow = nullptr;
    std::function<bool(int, int)> windowResizer;
};
