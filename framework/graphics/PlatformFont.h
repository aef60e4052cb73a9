#pragma once

namespace iplug {
namespace igraphics {

// A font made by the platform layer; the window layer derives its own kinds.
class PlatformFont
{
public:
    PlatformFont() = default;
    virtual ~PlatformFont() = default;
    PlatformFont(const PlatformFont&) = delete;
    PlatformFont& operator=(const PlatformFont&) = delete;

    // The platform's font handle; null in the base.
    virtual void* GetHandle() const { return nullptr; }
};

} // namespace igraphics
} // namespace iplug
