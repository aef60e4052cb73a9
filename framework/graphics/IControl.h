#pragma once

namespace iplug {
struct IMidiEvent;

namespace igraphics {

// The operations of a control that the editor delegate calls. The drawing context and its
// controls implement them; the delegate sees nothing else of a control.
class IControl
{
public:
    virtual ~IControl() = default;

    virtual void OnMidiMessage(const IMidiEvent& msg) = 0;
    virtual void OnDelegateMessage(int msgTag, int dataSize, const void* data) = 0;
    virtual void SetValueFromHost(double normalised, int valIdx) = 0;

    virtual bool TakesMidi() const = 0;
    virtual int NValueSlots() const = 0;
    virtual int BoundParamIndex(int valIdx) const = 0;
};

} // namespace igraphics
} // namespace iplug
