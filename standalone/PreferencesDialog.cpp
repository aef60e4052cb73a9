#include "standalone/PreferencesDialog.h"

#include "framework/core/ExceptionBarrier.h"

#include "standalone/StandaloneHost.h"
#include "standalone/StandaloneResourceIds.h"
#include "standalone/WideText.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr unsigned int kBufferSizes[] = {32, 64, 96, 128, 192, 256, 512, 1024, 2048, 4096, 8192};
constexpr int kMidiChannels = 16;

std::wstring Number(unsigned int value)
{
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"%u", value);
    return text;
}

class Combo
{
public:
    Combo(HWND dialog, int id) : box(GetDlgItem(dialog, id)) {}

    void Clear() const { SendMessageW(box, CB_RESETCONTENT, 0, 0); }
    int Add(const std::wstring& text) const
    {
        return int(SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    void SetData(int index, LPARAM data) const { SendMessageW(box, CB_SETITEMDATA, WPARAM(index), data); }
    LPARAM Data(int index) const { return SendMessageW(box, CB_GETITEMDATA, WPARAM(index), 0); }
    void Select(int index) const { SendMessageW(box, CB_SETCURSEL, WPARAM(index), 0); }
    int Selected() const { return int(SendMessageW(box, CB_GETCURSEL, 0, 0)); }
    int Find(const std::wstring& text) const
    {
        return int(SendMessageW(box, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text.c_str())));
    }
    std::string Text(int index) const
    {
        const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, WPARAM(index), 0);
        if (length == CB_ERR)
            return std::string();
        std::wstring text(size_t(length) + 1, L'\0');
        SendMessageW(box, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
        text.resize(size_t(length));
        return ToUtf8(text);
    }
    void Enable(bool on) const { EnableWindow(box, on); }

private:
    HWND box;
};

// Lists are unsorted (no CBS_SORT), so entries keep the order they were added in; exact
// matching below compares the stored texts byte for byte.
int IndexOf(const std::vector<std::string>& names, const std::string& wanted)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted)
            return int(i);
    return -1;
}

void FillChannelLists(HWND dialog, int firstId, int secondId, unsigned int channels, uint32_t first, uint32_t second)
{
    const Combo firstList(dialog, firstId);
    const Combo secondList(dialog, secondId);
    firstList.Clear();
    secondList.Clear();
    for (unsigned int c = 1; c < channels; ++c)
        firstList.Add(Number(c));
    for (unsigned int c = 1; c <= channels; ++c)
        secondList.Add(Number(c));
    firstList.Select(int(first) - 1);
    secondList.Select(int(second) - 1);
}

void FillBufferSizes(HWND dialog, const DeviceSettings& settings)
{
    const Combo list(dialog, IDC_BUFFER_SIZE);
    list.Clear();
    for (unsigned int size : kBufferSizes)
        list.Add(Number(size));
    list.Select(list.Find(Number(settings.bufferSize)));
}

void FillAudioSection(HWND dialog, StandaloneHost& host)
{
    DeviceSettings& settings = host.settings;
    const bool directSound = Combo(dialog, IDC_DRIVER).Selected() == int(DeviceSettings::kDirectSound);
    const Combo inputList(dialog, IDC_AUDIO_INPUT);
    const Combo outputList(dialog, IDC_AUDIO_OUTPUT);
    inputList.Enable(directSound);
    EnableWindow(GetDlgItem(dialog, IDC_DRIVER_CONFIG), !directSound);
    Combo(dialog, IDC_SAMPLE_RATE).Enable(false);

    std::vector<std::string> inputNames;
    std::vector<std::string> outputNames;
    for (unsigned int id : host.InputDevices())
        inputNames.push_back(host.DeviceDisplayName(id));
    for (unsigned int id : host.OutputDevices())
        outputNames.push_back(host.DeviceDisplayName(id));
    inputList.Clear();
    outputList.Clear();
    for (const std::string& name : inputNames)
        inputList.Add(ToWide(name));
    for (const std::string& name : outputNames)
        outputList.Add(ToWide(name));
    const int inputIndex = std::max(IndexOf(inputNames, settings.audioInput), 0);
    const int outputIndex = std::max(IndexOf(outputNames, settings.audioOutput), 0);
    inputList.Select(directSound ? inputIndex : outputIndex);
    outputList.Select(outputIndex);

    // A direction without devices keeps its lists empty.
    AudioBackend::DeviceInfo input;
    AudioBackend::DeviceInfo output;
    const bool haveInput =
        !host.InputDevices().empty() && host.GetDeviceInfo(host.InputDevices()[size_t(inputIndex)], input);
    const bool haveOutput =
        !host.OutputDevices().empty() && host.GetDeviceInfo(host.OutputDevices()[size_t(outputIndex)], output);
    FillChannelLists(dialog, IDC_INPUT_CHANNEL_1, IDC_INPUT_CHANNEL_2, haveInput ? input.inputChannels : 0,
                     settings.inputChannel1, settings.inputChannel2);
    FillChannelLists(dialog, IDC_OUTPUT_CHANNEL_1, IDC_OUTPUT_CHANNEL_2, haveOutput ? output.outputChannels : 0,
                     settings.outputChannel1, settings.outputChannel2);

    if (haveInput && haveOutput)
        settings.sampleRate =
            host.ChooseSampleRate(host.InputDevices()[size_t(inputIndex)], host.OutputDevices()[size_t(outputIndex)]);
    const Combo rates(dialog, IDC_SAMPLE_RATE);
    rates.Clear();
    if (haveInput && haveOutput) {
        for (unsigned int rate : input.sampleRates)
            for (unsigned int offered : output.sampleRates)
                if (offered == rate)
                    rates.SetData(rates.Add(Number(rate)), LPARAM(rate));
    }
    rates.Select(rates.Find(Number(settings.sampleRate)));
}

void FillMidiList(HWND dialog, int id, const std::vector<std::string>& names, std::string& chosen, StandaloneHost& host)
{
    const Combo list(dialog, id);
    list.Clear();
    for (const std::string& name : names)
        list.Add(ToWide(name));
    int index = IndexOf(names, chosen);
    if (index < 0) {
        chosen = "off";
        host.SaveSettings();
        index = 0;
    }
    list.Select(index);
}

void FillMidiSection(HWND dialog, StandaloneHost& host)
{
    if (!host.HasMidi())
        return;
    FillMidiList(dialog, IDC_MIDI_INPUT, host.MidiInputNames(), host.settings.midiInput, host);
    FillMidiList(dialog, IDC_MIDI_OUTPUT, host.MidiOutputNames(), host.settings.midiOutput, host);
    for (int id : {IDC_MIDI_IN_CHANNEL, IDC_MIDI_OUT_CHANNEL}) {
        const Combo list(dialog, id);
        list.Clear();
        list.Add(L"all");
        for (int c = 1; c <= kMidiChannels; ++c)
            list.Add(Number(unsigned(c)));
    }
    Combo(dialog, IDC_MIDI_IN_CHANNEL).Select(int(host.settings.midiInChannel));
    Combo(dialog, IDC_MIDI_OUT_CHANNEL).Select(int(host.settings.midiOutChannel));
}

void InitDialog(HWND dialog, StandaloneHost& host)
{
    const Combo driver(dialog, IDC_DRIVER);
    driver.Clear();
    driver.Add(L"DirectSound");
    driver.Add(L"ASIO");
    driver.Select(int(host.settings.driverType));
    FillAudioSection(dialog, host);
    FillBufferSizes(dialog, host.settings);
    FillMidiSection(dialog, host);
    host.savedSettings = host.settings;
    SetWindowLongPtrW(dialog, DWLP_USER, host.StreamRunning() ? 1 : 0);
}

// Reopens the audio when the stream does not play these settings (or does not play at all).
void ReopenIfNeeded(StandaloneHost& host)
{
    if (host.activeSettings != host.settings || !host.StreamRunning())
        host.ApplyAudioSettings();
}

void OnDriverChosen(HWND dialog, StandaloneHost& host, int chosen)
{
    if (chosen < 0 || uint32_t(chosen) == host.settings.driverType)
        return;
    host.settings.driverType = uint32_t(chosen);
    host.CreateAudioBackend();
    host.ProbeAudioDevices();
    if (!host.InputDevices().empty())
        host.settings.audioInput = host.DeviceDisplayName(host.InputDevices().front());
    if (!host.OutputDevices().empty())
        host.settings.audioOutput = host.DeviceDisplayName(host.OutputDevices().front());
    host.settings.outputChannel1 = 1;
    host.settings.outputChannel2 = 2;
    FillAudioSection(dialog, host);
    FillBufferSizes(dialog, host.settings);
}

// Cancel puts back the settings the dialog found. The audio is reopened only when the dialog
// left it other than it found it: playing then and stopped now (a driver switched and back), or
// playing other settings (Apply). Audio that was not playing stays off, so a missing device
// does not bring its message back.
void OnCancel(HWND dialog, StandaloneHost& host)
{
    const bool wasPlaying = GetWindowLongPtrW(dialog, DWLP_USER) != 0;
    const uint32_t editedDriver = host.settings.driverType;
    host.settings = host.savedSettings;
    if (editedDriver != host.settings.driverType) {
        host.CreateAudioBackend();
        host.ProbeAudioDevices();
    }
    const bool playing = host.StreamRunning();
    if ((playing && host.activeSettings != host.settings) || (wasPlaying && !playing))
        host.ApplyAudioSettings();
}

// The second channel of a pair is always the one after the first.
void ChooseFirstChannel(HWND dialog, int secondId, int index, uint32_t& first, uint32_t& second)
{
    first = uint32_t(index) + 1;
    second = uint32_t(index) + 2;
    Combo(dialog, secondId).Select(index + 1);
}

// A selection change in one of the lists; the channel lists keep the second channel next to
// the first.
void OnListChanged(HWND dialog, StandaloneHost& host, int id)
{
    DeviceSettings& s = host.settings;
    const Combo list(dialog, id);
    const int index = list.Selected();
    if (index < 0 && id != IDC_DRIVER)
        return;
    switch (id) {
    case IDC_DRIVER:
        OnDriverChosen(dialog, host, index);
        break;
    case IDC_AUDIO_INPUT:
        s.audioInput = list.Text(index);
        s.inputChannel1 = 1;
        s.inputChannel2 = 2;
        FillAudioSection(dialog, host);
        break;
    case IDC_AUDIO_OUTPUT:
        s.audioOutput = list.Text(index);
        s.outputChannel1 = 1;
        s.outputChannel2 = 2;
        FillAudioSection(dialog, host);
        break;
    case IDC_BUFFER_SIZE:
        s.bufferSize = uint32_t(std::strtoul(list.Text(index).c_str(), nullptr, 10));
        break;
    case IDC_SAMPLE_RATE:
        s.sampleRate = uint32_t(list.Data(index));
        break;
    case IDC_INPUT_CHANNEL_1:
        ChooseFirstChannel(dialog, IDC_INPUT_CHANNEL_2, index, s.inputChannel1, s.inputChannel2);
        break;
    case IDC_INPUT_CHANNEL_2:
        list.Select(int(s.inputChannel2) - 1);
        break;
    case IDC_OUTPUT_CHANNEL_1:
        ChooseFirstChannel(dialog, IDC_OUTPUT_CHANNEL_2, index, s.outputChannel1, s.outputChannel2);
        break;
    case IDC_OUTPUT_CHANNEL_2:
        list.Select(int(s.outputChannel2) - 1);
        break;
    case IDC_MIDI_INPUT:
        s.midiInput = list.Text(index);
        host.SelectMidiDevice(false, s.midiInput);
        break;
    case IDC_MIDI_OUTPUT:
        s.midiOutput = list.Text(index);
        host.SelectMidiDevice(true, s.midiOutput);
        break;
    case IDC_MIDI_IN_CHANNEL:
        s.midiInChannel = uint32_t(index);
        break;
    case IDC_MIDI_OUT_CHANNEL:
        s.midiOutChannel = uint32_t(index);
        break;
    default:
        break;
    }
}

void OnCommand(HWND dialog, StandaloneHost& host, int id, int notification)
{
    switch (id) {
    case IDOK:
        ReopenIfNeeded(host);
        EndDialog(dialog, IDOK);
        return;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        OnCancel(dialog, host);
        return;
    case IDC_APPLY:
        host.ApplyAudioSettings();
        return;
    case IDC_DRIVER_CONFIG:
        if (notification == BN_CLICKED && host.settings.driverType == DeviceSettings::kAsio && host.StreamRunning()
            && host.Audio())
            host.Audio()->ShowControlPanel();
        return;
    default:
        if (notification == CBN_SELCHANGE)
            OnListChanged(dialog, host, id);
        return;
    }
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam)
{
    StandaloneHost* host = StandaloneHost::Global();
    switch (message) {
    case WM_INITDIALOG:
        if (host)
            InitDialog(dialog, *host);
        return TRUE;
    case WM_COMMAND:
        if (host)
            OnCommand(dialog, *host, LOWORD(wParam), HIWORD(wParam));
        else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK PreferencesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    // Nothing may unwind into the dialog manager; a message whose handling failed counts as not
    // handled, and the dialog stays usable (Cancel still puts the audio back as it was).
    return iplug::ExceptionBarrier::Value<INT_PTR>([&] { return HandleMessage(dialog, message, wParam); }, FALSE);
}
