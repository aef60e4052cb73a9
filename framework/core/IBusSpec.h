#pragma once

namespace iplug {

enum ERoute : int
{
    kInput = 0,
    kOutput = 1
};

// Channel count that stands for "*" (any number of channels) in a channel-I/O text.
constexpr int kWildcardChannels = -64;

// One bus of a channel-I/O configuration.
struct IBusSpec
{
    int direction = kInput;
    int channelCount = 0;
};

} // namespace iplug
