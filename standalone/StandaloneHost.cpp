#include "standalone/StandaloneHost.h"

#include "RtMidi.h"
#include "standalone/RtAudioBackend.h"
#include "standalone/SettingsFile.h"
#include "standalone/WideText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr int kStopWaitStepMs = 10;
constexpr int kStopWaitLimitMs = 1000;
constexpr unsigned int kMidiInQueueLimit = 100;
constexpr uint32_t kFallbackSampleRate = 44100;

StandaloneHost* globalHost = nullptr;

bool Contains(const std::vector<unsigned int>& list, unsigned int value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

void ShowErrorBox(void* owner, const char* text)
{
    MessageBoxW(static_cast<HWND>(owner), ToWide(text).c_str(), L"Error", MB_OK);
}

// Runs an RtMidi call; false when it throws.
template <class F>
bool MidiCall(F&& call)
{
    try {
        call();
        return true;
    } catch (...) {
        return false;
    }
}

void MidiInCallback(double, std::vector<unsigned char>* message, void* user)
{
    if (message && user)
        static_cast<StandaloneHost*>(user)->HandleMidiMessage(message->data(), message->size());
}

} // namespace

StandaloneHost::Environment StandaloneHost::SystemEnvironment()
{
    Environment environment;
    environment.makeAudio = [](uint32_t driverType) -> std::unique_ptr<AudioBackend> {
        // ASIO cannot be built here; its slot keeps its meaning in settings.ini and plays
        // through DirectSound.
        if (driverType == DeviceSettings::kDirectSound || driverType == DeviceSettings::kAsio)
            return std::make_unique<RtAudioBackend>();
        return nullptr;
    };
    environment.showError = [](const char* text) { ShowErrorBox(Global() ? Global()->OwnerWindow() : nullptr, text); };
    return environment;
}

StandaloneHost* StandaloneHost::Create(Environment environment)
{
    StandaloneHost* previous = globalHost;
    globalHost = nullptr;
    delete previous;
    globalHost = new StandaloneHost(std::move(environment));
    return globalHost;
}

StandaloneHost* StandaloneHost::Global()
{
    return globalHost;
}

StandaloneHost* StandaloneHost::ReleaseGlobal()
{
    StandaloneHost* host = globalHost;
    globalHost = nullptr;
    return host;
}

StandaloneHost::StandaloneHost(Environment environment)
    : environment(std::move(environment)), plugin(iplug::CreatePluginInstance(this))
{}

StandaloneHost::~StandaloneHost()
{
    exiting.store(1);
    StopAudio();
    CloseMidiInput();
    CloseMidiOutput();
    midiOut.reset();
    midiIn.reset();
    audio.reset();
    plugin.reset();
    if (globalHost == this)
        globalHost = nullptr;
}

bool StandaloneHost::Init()
{
    plugin->SetHost("standalone", plugin->GetPluginVersion(false));
    if (!LoadSettings())
        return false;
    CreateAudioBackend();
    ProbeAudioDevices();
    CreateMidiPorts();
    ProbeMidiPorts();
    SelectMidiDevice(false, settings.midiInput);
    SelectMidiDevice(true, settings.midiOutput);
    plugin->OnAllParamsChanged(iplug::kOriginReset);
    plugin->OnActivated(true);
    return true;
}

bool StandaloneHost::LoadSettings()
{
    std::wstring folder =
        environment.settingsFolder.empty() ? SettingsFile::DefaultFolder() : environment.settingsFolder;
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    const bool folderExisted = GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
    SettingsFile::EnsureFolder(folder);
    settingsPath = folder + L"settings.ini";
    if (folderExisted)
        SettingsFile(settingsPath).Load(settings);
    SaveSettings();
    return true;
}

void StandaloneHost::SaveSettings()
{
    if (!settingsPath.empty())
        SettingsFile(settingsPath).Save(settings);
}

void StandaloneHost::CreateAudioBackend()
{
    StopAudio();
    audio.reset();
    if (environment.makeAudio)
        audio = environment.makeAudio(settings.driverType);
}

void StandaloneHost::ProbeAudioDevices()
{
    inputDevices.clear();
    outputDevices.clear();
    defaultInput.reset();
    defaultOutput.reset();
    if (!audio)
        return;
    const unsigned int count = audio->DeviceCount();
    for (unsigned int id = 0; id < count; ++id) {
        AudioBackend::DeviceInfo info;
        if (!audio->GetDeviceInfo(id, info))
            continue;
        if (info.inputChannels > 0)
            inputDevices.push_back(id);
        if (info.outputChannels > 0)
            outputDevices.push_back(id);
        if (info.isDefaultInput && info.inputChannels > 0)
            defaultInput = id;
        if (info.isDefaultOutput && info.outputChannels > 0)
            defaultOutput = id;
    }
}

bool StandaloneHost::GetDeviceInfo(unsigned int id, AudioBackend::DeviceInfo& info)
{
    return audio && audio->GetDeviceInfo(id, info);
}

std::string StandaloneHost::DisplayNameOf(const std::string& deviceName)
{
    // "Out: default" shows as "default": the profile functions drop leading blanks on reading,
    // so a name kept with its blank would never be found again.
    const size_t colon = deviceName.find(':');
    if (colon == std::string::npos)
        return deviceName;
    const size_t start = deviceName.find_first_not_of(' ', colon + 1);
    return start == std::string::npos ? std::string() : deviceName.substr(start);
}

std::string StandaloneHost::DeviceDisplayName(unsigned int id)
{
    AudioBackend::DeviceInfo info;
    GetDeviceInfo(id, info);
    return DisplayNameOf(info.name);
}

std::optional<unsigned int> StandaloneHost::FindAudioDevice(const std::string& name, Direction direction)
{
    // The library lists the same name once per direction ("Out: default", "In: default").
    for (unsigned int id : direction == kInputDevice ? inputDevices : outputDevices)
        if (DeviceDisplayName(id) == name)
            return id;
    return std::nullopt;
}

std::optional<unsigned int> StandaloneHost::DefaultDevice(Direction direction) const
{
    // DirectSound marks no device as the default input: the first one with inputs stands in.
    const std::optional<unsigned int>& marked = direction == kInputDevice ? defaultInput : defaultOutput;
    const std::vector<unsigned int>& listed = direction == kInputDevice ? inputDevices : outputDevices;
    if (marked)
        return marked;
    if (!listed.empty())
        return listed.front();
    return std::nullopt;
}

uint32_t StandaloneHost::ChooseSampleRate(std::optional<unsigned int> input, std::optional<unsigned int> output)
{
    const uint32_t stored = settings.sampleRate;
    AudioBackend::DeviceInfo out;
    if (!audio || !output || !GetDeviceInfo(*output, out))
        return stored ? stored : kFallbackSampleRate;
    AudioBackend::DeviceInfo in;
    const bool inputCounts =
        plugin->NChannels(iplug::kInput) > 0 && input && GetDeviceInfo(*input, in) && in.inputChannels > 0;
    const auto acceptable = [&](unsigned int rate) {
        return rate != 0 && Contains(out.sampleRates, rate) && (!inputCounts || Contains(in.sampleRates, rate));
    };
    for (unsigned int candidate : {out.preferredSampleRate, inputCounts ? in.preferredSampleRate : 0u, stored})
        if (acceptable(candidate))
            return candidate;
    for (unsigned int rate : out.sampleRates)
        if (acceptable(rate))
            return rate;
    if (out.preferredSampleRate)
        return out.preferredSampleRate;
    return stored ? stored : kFallbackSampleRate;
}

bool StandaloneHost::ApplyAudioSettings()
{
    const std::string& inputName =
        settings.driverType == DeviceSettings::kAsio ? settings.audioOutput : settings.audioInput;
    std::optional<unsigned int> input = FindAudioDevice(inputName, kInputDevice);
    std::optional<unsigned int> output = FindAudioDevice(settings.audioOutput, kOutputDevice);
    bool replaced = false;
    if (!input) {
        input = DefaultDevice(kInputDevice);
        if (input) {
            settings.audioInput = DeviceDisplayName(*input);
            replaced = true;
        }
        // With no input device at all the stream plays output only.
    }
    if (!output) {
        output = DefaultDevice(kOutputDevice);
        if (output) {
            settings.audioOutput = DeviceDisplayName(*output);
            replaced = true;
        }
    }
    if (replaced)
        SaveSettings();
    if (!output) {
        if (environment.showError)
            environment.showError(kCheckAudioSettings);
        return false;
    }
    const uint32_t rate = ChooseSampleRate(input, output);
    if (rate != settings.sampleRate) {
        settings.sampleRate = rate;
        SaveSettings();
    }
    return OpenAudio(input, *output, rate, settings.bufferSize);
}

unsigned int StandaloneHost::InputChannelsToOpen(std::optional<unsigned int> input)
{
    // A device is asked for no more channels than it has: a one-channel microphone refuses two.
    AudioBackend::DeviceInfo info;
    const int pluginInputs = plugin->NChannels(iplug::kInput);
    if (pluginInputs <= 0 || !input || !GetDeviceInfo(*input, info))
        return 0;
    return std::min(info.inputChannels, unsigned(pluginInputs));
}

bool StandaloneHost::OpenStreamWithFallback(std::optional<unsigned int> input, unsigned int output, uint32_t rate)
{
    const int pluginOutputs = plugin->NChannels(iplug::kOutput);
    const unsigned int inputChannels = InputChannelsToOpen(input);
    const AudioBackend::StreamDirection out{output, unsigned(pluginOutputs)};
    const AudioBackend::StreamDirection in{input.value_or(0), inputChannels};
    unsigned int frames = bufferFrames;
    if (inputChannels > 0 && audio->OpenStream(out, &in, rate, frames, StreamCallback, this)) {
        bufferFrames = frames;
        streamInputChannels = int(inputChannels);
        streamOutputChannels = pluginOutputs;
        return true;
    }
    if (audio->IsStreamOpen())
        audio->CloseStream();
    frames = bufferFrames;
    if (!audio->OpenStream(out, nullptr, rate, frames, StreamCallback, this))
        return false;
    bufferFrames = frames;
    streamInputChannels = 0;
    streamOutputChannels = pluginOutputs;
    return true;
}

bool StandaloneHost::OpenAudio(std::optional<unsigned int> input, unsigned int output, uint32_t rate, uint32_t frames)
{
    StopAudio();
    if (!audio)
        return false;
    bufferFrames = frames;
    samplesElapsed.store(0);
    callbackCount = 0;
    sampleRate = rate;
    ending.exchange(0);
    done.exchange(0);
    streamInputChannels = 0;
    streamOutputChannels = 0;

    plugin->ResizeScratchBuffers(DeviceBlockSlicer::kBlockFrames);
    plugin->SetSampleRate(rate);
    plugin->OnProcessingReset();

    if (!OpenStreamWithFallback(input, output, rate))
        return false;
    slicer.Configure(streamInputChannels, streamOutputChannels, plugin->NChannels(iplug::kInput),
                     plugin->NChannels(iplug::kOutput));
    if (!audio->StartStream())
        return false;
    activeSettings = settings;
    streamStarted = true;
    return true;
}

void StandaloneHost::StopAudio()
{
    streamStarted = false;
    if (!audio || !audio->IsStreamOpen())
        return;
    if (audio->IsStreamRunning()) {
        ending.exchange(1);
        for (int waited = 0; !done.load() && waited < kStopWaitLimitMs; waited += kStopWaitStepMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(kStopWaitStepMs));
        audio->AbortStream();
    }
    audio->CloseStream();
}

bool StandaloneHost::StreamRunning()
{
    return audio && audio->IsStreamRunning();
}

bool StandaloneHost::CheckAudioStream()
{
    if (!streamStarted || StreamRunning())
        return true;
    StopAudio();
    if (environment.showError)
        environment.showError(kCheckAudioSettings);
    return false;
}

int StandaloneHost::StreamCallback(void* output, void* input, unsigned int frames, double, unsigned int, void* user)
{
    auto* host = static_cast<StandaloneHost*>(user);
    try {
        host->RunStreamCallback(static_cast<double*>(output), static_cast<double*>(input), int(frames));
    } catch (...) {
        // Nothing may unwind into the audio library's thread; the buffer plays silence instead.
        if (output)
            std::fill_n(static_cast<double*>(output), size_t(frames) * size_t(host->streamOutputChannels), 0.0);
    }
    return 0;
}

void StandaloneHost::RunStreamCallback(double* output, double* input, int n)
{
    const bool endingNow = ending.load() != 0;
    const bool fade = callbackCount == 0 || endingNow;
    if (done.load()) {
        if (output)
            std::fill(output, output + size_t(n) * size_t(streamOutputChannels), 0.0);
    } else {
        if (fade && input)
            ApplyFade(input, streamInputChannels, n, endingNow);
        slicer.Run(streamInputChannels > 0 ? input : nullptr, output, n, [this](double** in, double** out) {
            plugin->ProcessDeviceBlock(in, out, DeviceBlockSlicer::kBlockFrames);
            samplesElapsed.fetch_add(DeviceBlockSlicer::kBlockFrames, std::memory_order_relaxed);
        });
        if (fade && output)
            ApplyFade(output, streamOutputChannels, n, endingNow);
        if (endingNow)
            done.exchange(1);
    }
    callbackCount = 1;
}

void StandaloneHost::ApplyFade(double* samples, int channels, int n, bool fadeOut)
{
    if (!samples || n <= 0)
        return;
    const double step = 1.0 / n;
    for (int c = 0; c < channels; ++c) {
        double* channel = samples + size_t(c) * size_t(n);
        for (int k = 0; k < n; ++k)
            channel[k] *= (fadeOut ? n - 1 - k : k) * step;
    }
}

void StandaloneHost::HandleMidiMessage(const uint8_t* bytes, size_t size)
{
    if (!bytes || size == 0 || exiting.load() || !plugin)
        return;
    if (size <= 3) {
        iplug::IMidiEvent event;
        event.status = bytes[0];
        event.data1 = size > 1 ? bytes[1] : 0;
        event.data2 = size > 2 ? bytes[2] : 0;
        plugin->QueueMidiIn(event);
    } else if (size <= kMaxMidiMessage) {
        iplug::SysexQueueEntry entry;
        entry.size = int32_t(size);
        std::copy(bytes, bytes + size, entry.data);
        plugin->QueueSysexIn(entry);
    }
}

bool StandaloneHost::SendMidiBytes(const uint8_t* bytes, int size)
{
    if (!midiOut || !bytes || size < 1)
        return false;
    return MidiCall([&] { midiOut->sendMessage(bytes, size_t(size)); });
}

bool StandaloneHost::ResizeHostWindow(int width, int height)
{
    return windowResizer && windowResizer(width, height);
}

void StandaloneHost::CreateMidiPorts()
{
    if (!environment.useMidi)
        return;
    CloseMidiInput();
    midiIn.reset();
    if (!MidiCall([&] {
            midiIn = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "RtMidi Input Client", kMidiInQueueLimit);
        }))
        return;
    CloseMidiOutput();
    midiOut.reset();
    if (!MidiCall([&] { midiOut = std::make_unique<RtMidiOut>(RtMidi::UNSPECIFIED, "RtMidi Output Client"); })) {
        midiOut.reset();
        return;
    }
    MidiCall([&] {
        midiIn->setCallback(MidiInCallback, this);
        midiIn->ignoreTypes(false, true, false);
    });
}

void StandaloneHost::ProbeMidiPorts()
{
    if (!midiIn || !midiOut)
        return;
    midiInputNames.assign(1, "off");
    midiOutputNames.assign(1, "off");
    MidiCall([&] {
        const unsigned int count = midiIn->getPortCount();
        for (unsigned int i = 0; i < count; ++i)
            midiInputNames.push_back(midiIn->getPortName(i));
    });
    MidiCall([&] {
        const unsigned int count = midiOut->getPortCount();
        for (unsigned int i = 0; i < count; ++i)
            midiOutputNames.push_back(midiOut->getPortName(i));
    });
}

int StandaloneHost::FindMidiPort(bool output, const std::string& name) const
{
    if (name == "off")
        return 0;
    const std::vector<std::string>& names = output ? midiOutputNames : midiInputNames;
    for (size_t i = 1; i < names.size(); ++i)
        if (names[i] == name)
            return int(i);
    return -1;
}

bool StandaloneHost::SelectMidiDevice(bool output, const std::string& name)
{
    int port = FindMidiPort(output, name);
    if (port == -1) {
        (output ? settings.midiOutput : settings.midiInput) = "off";
        SaveSettings();
        port = 0;
    }
    RtMidi* device = output ? static_cast<RtMidi*>(midiOut.get()) : static_cast<RtMidi*>(midiIn.get());
    if (!device)
        return false;
    MidiCall([&] { device->closePort(); });
    if (port > 0)
        MidiCall([&] { device->openPort(unsigned(port - 1), output ? "RtMidi Output" : "RtMidi Input"); });
    return true;
}

void StandaloneHost::CloseMidiInput()
{
    if (midiIn)
        MidiCall([&] {
            midiIn->cancelCallback();
            midiIn->closePort();
        });
}

void StandaloneHost::CloseMidiOutput()
{
    if (midiOut)
        MidiCall([&] { midiOut->closePort(); });
}

void StandaloneHost::OpenEditor(void* parentWindow)
{
    if (plugin)
        plugin->OpenEditor(parentWindow, nullptr);
}

void StandaloneHost::CloseEditor()
{
    if (plugin)
        plugin->CloseEditor();
}

void StandaloneHost::Teardown()
{
    // The audio library enters COM on the thread that makes it and leaves it on the thread that
    // deletes it. Made on the UI thread, it is deleted there, by the destructor; a worker that
    // deleted it would leave COM that it never entered. Closing the stream is the part a driver
    // can hang in, and that is done here.
    StopAudio();
    CloseMidiInput();
    midiIn.reset();
    CloseMidiOutput();
    midiOut.reset();
}
