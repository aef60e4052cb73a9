#pragma once

#include "framework/graphics/IControl.h"

namespace iplug {
namespace igraphics {

// The triangular handle in the bottom-right corner that drag-resizes the editor. It keeps its
// size on screen at every draw scale.
class ICornerResizerControl : public IControl
{
public:
    ICornerResizerControl(const IBox& box, float handleSize, const IArgb& colour, const IArgb& overColour,
                          const IArgb& dragColour);

    void OnPointerDown(float x, float y, const IPointerMods& mods) override;
    void OnPointerDoubleClick(float x, float y, const IPointerMods& mods) override;
    void OnPointerOver(float x, float y, const IPointerMods& mods) override;
    void OnPointerOut() override;
    void OnScaleChanged() override;
    void Paint(IGraphics& g) override;

    void SetInitialBox(const IBox& b) { initialBox = b; }
    const IBox& GetInitialBox() const { return initialBox; }
    float GetHandleSize() const { return handleSize; }

private:
    float handleSize;
    bool cursorChanged = false;
    int previousCursor = kCursorArrow;
    IBox initialBox;
    IArgb colour;
    IArgb overColour;
    IArgb dragColour;
};

} // namespace igraphics
} // namespace iplug
