#include "framework/graphics/ICornerResizerControl.h"

#include "framework/graphics/IGraphics.h"

namespace iplug {
namespace igraphics {

ICornerResizerControl::ICornerResizerControl(const IBox& b, float size, const IArgb& normal, const IArgb& over,
                                             const IArgb& drag)
    : IControl(b, -1, nullptr), handleSize(size), colour(normal), overColour(over), dragColour(drag)
{}

void ICornerResizerControl::OnPointerDown(float, float, const IPointerMods&)
{
    if (graphics)
        graphics->SetResizing(true);
}

void ICornerResizerControl::OnPointerDoubleClick(float, float, const IPointerMods&)
{
    if (graphics)
        graphics->ResizeEditor(int(initialBox.W()), int(initialBox.H()), 1.0f, true);
}

void ICornerResizerControl::OnPointerOver(float x, float y, const IPointerMods& mods)
{
    if (!cursorChanged && graphics)
        previousCursor = graphics->SetPointerShape(kCursorSizeNWSE);
    cursorChanged = true;
    IControl::OnPointerOver(x, y, mods);
}

void ICornerResizerControl::OnPointerOut()
{
    if (cursorChanged && graphics)
        graphics->SetPointerShape(previousCursor);
    cursorChanged = false;
    IControl::OnPointerOut();
}

void ICornerResizerControl::OnScaleChanged()
{
    if (!graphics)
        return;
    const float side = handleSize / graphics->GetDrawScale();
    const float w = float(graphics->Width());
    const float h = float(graphics->Height());
    box = IBox(w - side, h - side, w, h);
    targetBox = box;
    pointerOver = false;
    OnBoxChanged();
}

void ICornerResizerControl::Paint(IGraphics& g)
{
    const IArgb& c = g.IsResizing() ? dragColour : (pointerOver ? overColour : colour);
    g.SolidTriangle(c, box.left, box.bottom, box.right, box.top, box.right, box.bottom, nullptr);
}

} // namespace igraphics
} // namespace iplug
