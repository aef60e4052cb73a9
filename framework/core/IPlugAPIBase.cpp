#include "framework/core/IPlugAPIBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug {

namespace {

constexpr int kHostNameMatchLength = 255;

struct HostPattern
{
    const char* pattern;
    int code;
};

// Tried in this order; the first that occurs wins, so longer names come before the names
// they contain ("wavelab elements" before "wavelab").
constexpr HostPattern kHostPatterns[] = {
    {"reaper", 1},         {"protools", 2},
    {"cubase", 3},         {"nuendo", 4},
    {"cakewalk", 5},       {"vegas", 6},
    {"fruity", 7},         {"samplitude", 8},
    {"live", 9},           {"tracktion", 10},
    {"ntracks", 11},       {"melodyne", 12},
    {"vstmanlib", 13},     {"aulab", 14},
    {"forte", 15},         {"chainer", 16},
    {"audition", 17},      {"orion", 18},
    {"bias", 19},          {"sawstudio", 20},
    {"logic", 21},         {"garageband", 22},
    {"digital", 23},       {"audiomulch", 25},
    {"presonus", 26},      {"vst3plugintesthost", 27},
    {"ardour", 28},        {"renoise", 29},
    {"openmpt", 30},       {"wavelab elements", 32},
    {"wavelab", 31},       {"twistedwave", 33},
    {"bitwig studio", 34}, {"reason", 36},
    {"gwvst", 37},         {"waveform", 38},
    {"audacity", 39},      {"acoustica", 40},
    {"plugindoctor", 41},  {"izotope rx", 42},
    {"savihost", 43},      {"blue cat's vst host", 44},
    {"mixbus", 45},        {"standalone", 24},
    {"www", 35},
};

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

IPlugAPIBase::IPlugAPIBase(const IPlugDescriptor& descriptor, PluginApiKind kind)
    : IPluginBase(descriptor.nParams, descriptor.nPresets)
{
    editorResizable = descriptor.editorResizable;
    hasEditor = descriptor.hasEditor;
    uniqueId = descriptor.uniqueId;
    makerId = descriptor.makerId;
    version = descriptor.version;
    pluginName.Set(descriptor.pluginName, kDescriptorNameMaxLength);
    productName.Set(descriptor.productName, kDescriptorNameMaxLength);
    makerName.Set(descriptor.makerName, kDescriptorNameMaxLength);
    editorWidth = descriptor.editorWidth;
    editorHeight = descriptor.editorHeight;
    minWidth = std::min(descriptor.widthLimitA, descriptor.widthLimitB);
    maxWidth = std::max(descriptor.widthLimitA, descriptor.widthLimitB);
    minHeight = std::min(descriptor.heightLimitA, descriptor.heightLimitB);
    maxHeight = std::max(descriptor.heightLimitA, descriptor.heightLimitB);
    apiKind = kind;
    openGestures.assign(static_cast<size_t>(std::max(NParams(), 0)), 0);
}

IPlugAPIBase::~IPlugAPIBase()
{
    StopIdleTimer();
}

void IPlugAPIBase::ReportAllParamsToHost()
{
    for (int i = 0; i < NParams(); ++i)
        SendParamInGesture(i, GetParam(i)->GetNormalized());
}

void IPlugAPIBase::BeginParamEditFromEditor(int paramIdx)
{
    if (!GetParam(paramIdx))
        return;
    if (openGestures[static_cast<size_t>(paramIdx)]++ == 0)
        BeginHostParamEdit(paramIdx);
}

void IPlugAPIBase::SetParamFromEditor(int paramIdx, double normalised)
{
    if (!GetParam(paramIdx))
        return;
    ApplyParamFromEditor(paramIdx, normalised);
    IEditorDelegate::SetParamFromEditor(paramIdx, normalised);
}

void IPlugAPIBase::EndParamEditFromEditor(int paramIdx)
{
    // An end without its begin would close a gesture the host never saw opened.
    if (!GetParam(paramIdx) || openGestures[static_cast<size_t>(paramIdx)] == 0)
        return;
    if (--openGestures[static_cast<size_t>(paramIdx)] == 0)
        EndHostParamEdit(paramIdx);
}

void IPlugAPIBase::SendParamInGesture(int paramIdx, double normalised)
{
    if (openGestures[static_cast<size_t>(paramIdx)] > 0) {
        SendParamToHost(paramIdx, normalised);
        return;
    }
    BeginHostParamEdit(paramIdx);
    SendParamToHost(paramIdx, normalised);
    EndHostParamEdit(paramIdx);
}

bool IPlugAPIBase::OnEditorSizeChanged(int width, int height, bool resizeHostWindow)
{
    if (resizeHostWindow)
        return ResizeHostWindow(width, height);
    // The host resized its frame and the editor followed: that is the size to report from now on.
    SetEditorSize(width, height);
    return true;
}

void IPlugAPIBase::SendMidiFromEditor(const IMidiEvent& msg)
{
    QueueMidiForProcessor(msg);
}

void IPlugAPIBase::SendSysexFromEditor(const ISysexEvent& msg)
{
    QueueSysexForProcessor(msg);
}

bool IPlugAPIBase::SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data)
{
    return HandleDelegateMessage(msgTag, ctrlTag, dataSize, data);
}

void IPlugAPIBase::QueueMidiForProcessor(const IMidiEvent& msg)
{
    midiFromEditor.Push(msg);
}

void IPlugAPIBase::QueueSysexForProcessor(const ISysexEvent& msg)
{
    SysexQueueEntry entry;
    if (MakeSysexQueueEntry(msg, entry))
        sysexFromEditor.Push(entry);
}

bool IPlugAPIBase::MatchesStoredValues(const double* values, int startIdx)
{
    if (!values)
        return NParams() == 0;
    for (int i = 0; i < NParams(); ++i) {
        const float current = float(GetParam(i)->Value());
        const float stored = float(values[startIdx + i]);
        if (!(std::fabs(current - stored) < 1e-5f))
            return false;
    }
    return true;
}

bool IPlugAPIBase::OnAboutRequested()
{
    return false;
}

bool IPlugAPIBase::OnHelpRequested()
{
    return false;
}

void IPlugAPIBase::OnHostKnown() {}

int IPlugAPIBase::ListParamIndices(int n, GrowBuffer& indices)
{
    if (n >= NParams() || n < 1)
        return NParams();
    const int old = indices.Size();
    int32_t* out = static_cast<int32_t*>(indices.Resize(old + n * int(sizeof(int32_t)), false));
    if (!out || indices.Size() != old + n * int(sizeof(int32_t)))
        return n;
    out = reinterpret_cast<int32_t*>(indices.Data() + old);
    for (int i = 0; i < n; ++i)
        out[i] = i;
    return n;
}

bool IPlugAPIBase::IsZeroSum(int a, int b)
{
    return int64_t(a) + int64_t(b) == 0;
}

void IPlugAPIBase::ReservedHook1() {}

bool IPlugAPIBase::GetMidiNoteName(int note, char* out)
{
    if (out)
        out[0] = '\0';
    return false;
}

igraphics::IGraphics* IPlugAPIBase::GetGraphicsContext()
{
    return graphics;
}

void IPlugAPIBase::OnIdleTick() {}

void IPlugAPIBase::GetChannelColour(int& r, int& g, int& b)
{
    r = g = b = 0;
}

void IPlugAPIBase::GetChannelName(TextBuffer& out) {}

int IPlugAPIBase::GetChannelIndex()
{
    return 0;
}

void IPlugAPIBase::GetChannelNamespace(TextBuffer& out) {}

int IPlugAPIBase::GetChannelNamespaceOrder()
{
    return 0;
}

void IPlugAPIBase::QueueParamValueForEditor(int paramIdx, double value, bool isNormalised)
{
    const IParam* param = GetParam(paramIdx);
    if (!param)
        return;
    if (isNormalised)
        value = param->ClampToRange(param->GetShape().Denormalize(value, *param));
    paramValuesForEditor.Push(QueuedParamValue{paramIdx, value});
}

void IPlugAPIBase::PrepareForHost() {}

bool IPlugAPIBase::ResizeHostWindow(int width, int height)
{
    return false;
}

void IPlugAPIBase::BeginHostParamEdit(int paramIdx) {}

void IPlugAPIBase::EndHostParamEdit(int paramIdx) {}

void IPlugAPIBase::SendParamToHost(int paramIdx, double normalised) {}

void IPlugAPIBase::ReservedHook2() {}

void IPlugAPIBase::ReservedHook3() {}

void IPlugAPIBase::OnIdleTimer(Timer& timer)
{
    IMidiEvent midi;
    while (midiForEditor.Pop(midi)) {
        PushMidiToEditor(midi);
        midi = IMidiEvent();
    }
    SysexQueueEntry sysex;
    while (sysexForEditor.Pop(sysex))
        PushSysexToEditor(SysexEventFor(sysex));
    OnIdleTick();
}

void IPlugAPIBase::SetHost(const char* name, int hostVersionPacked)
{
    hostName.Set(name);
    hostCode.store(HostCodeForName(name), std::memory_order_release);
    hostVersion.store(hostVersionPacked, std::memory_order_release);
    PrepareForHost();
    OnHostKnown();
}

int IPlugAPIBase::HostCodeForName(const char* name)
{
    char lower[kHostNameMatchLength + 1] = {};
    if (name) {
        for (int i = 0; i < kHostNameMatchLength && name[i]; ++i)
            lower[i] = LowerAscii(name[i]);
    }
    for (const HostPattern& p : kHostPatterns) {
        if (std::strstr(lower, p.pattern))
            return p.code;
    }
    return kHostUnrecognised;
}

void IPlugAPIBase::VersionText(int packedVersion, TextBuffer& out)
{
    out.SetFormatted(32, "v%d.%d.%d", packedVersion >> 16, (packedVersion >> 8) & 0xFF, packedVersion & 0xFF);
}

void IPlugAPIBase::StartIdleTimer()
{
    idleTimer.reset();
    idleTimer = Timer::Create([this](Timer& timer) { OnIdleTimer(timer); }, kIdleTimerPeriodMs);
}

void IPlugAPIBase::StopIdleTimer()
{
    if (idleTimer)
        idleTimer->Stop();
    idleTimer.reset();
}

void IPlugAPIBase::ApplyParamFromEditor(int paramIdx, double normalised)
{
    IParam* param = GetParam(paramIdx);
    if (!param)
        return;
    param->SetNormalized(normalised);
    SendParamInGesture(paramIdx, normalised);
    OnParamChange(paramIdx, kOriginUI, -1);
}

} // namespace iplug
