#pragma once

namespace iplug {

// What kind of plug-in the descriptor describes; decides default processing and bus set-up.
enum PluginKind : int
{
    kPluginEffect = 0,
    kPluginInstrument = 1,
    kPluginMaybeWithoutOutputs = 2
};

// Which binding the plug-in object runs under.
enum PluginApiKind : int
{
    kApiNone = 0,
    kApiVST3 = 1,
    kApiApp = 5
};

// Packs a version as the framework stores it everywhere: major << 16 | minor << 8 | third.
constexpr int PackVersion(int major, int minor, int third)
{
    return (major << 16) | ((minor & 0xFF) << 8) | (third & 0xFF);
}

// Build-time description of a plug-in, filled by the product and read by the constructors
// of the API base and the processor base.
struct IPlugDescriptor
{
    int nParams = 0;
    int nPresets = 0;
    const char* channelIoText = "";
    const char* pluginName = "";
    const char* productName = "";
    const char* makerName = "";
    int version = 0;
    int uniqueId = 0;
    int makerId = 0;
    int latency = 0;
    bool doesMidiIn = false;
    bool doesMidiOut = false;
    int pluginKind = kPluginEffect;
    bool hasEditor = false;
    int editorWidth = 0;
    int editorHeight = 0;
    // The limits may be given in either order; the API base sorts each pair.
    int widthLimitA = 0;
    int widthLimitB = 0;
    int heightLimitA = 0;
    int heightLimitB = 0;
    bool editorResizable = false;
};

} // namespace iplug
