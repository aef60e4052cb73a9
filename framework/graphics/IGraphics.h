#pragma once

namespace iplug {
namespace igraphics {

class IControl;
struct IKeyStroke;

// The operations of a drawing context that the editor delegate calls: opening and closing
// the platform window, sizing and scaling, key dispatch and the control list.
class IGraphics
{
public:
    virtual ~IGraphics() = default;

    virtual void* OpenPlatformWindow(void* parent) = 0;
    virtual void ClosePlatformWindow() = 0;
    virtual void GetPointerPosition(float& x, float& y) const = 0;
    virtual float GetWindowScale() const = 0;

    virtual void ResizeEditor(int width, int height, float drawScale, bool notifyDelegate) = 0;
    virtual void ApplyScreenScale(float screenScale) = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual float GetDrawScale() const = 0;

    virtual bool OnKeyDown(float x, float y, const IKeyStroke& key) = 0;
    virtual bool OnKeyUp(float x, float y, const IKeyStroke& key) = 0;

    virtual int NControls() const = 0;
    virtual IControl* GetControl(int idx) const = 0;
    virtual IControl* FindControlByTag(int tag) const = 0;
};

} // namespace igraphics
} // namespace iplug
