#pragma once

#include "framework/core/IEditorDelegate.h"

#include <functional>

namespace iplug {
namespace igraphics {

class IGraphics;

using MakeGraphicsFunction = std::function<IGraphics*()>;
using LayoutFunction = std::function<void(IGraphics*)>;

// Second link of the plug-in chain: binds the editor traffic to a drawing context. It makes
// the drawing context with the product's make-graphics function when the editor opens, owns
// it while open, routes values, MIDI, messages and keys to its controls, and remembers the
// editor's size and scale across close and reopen.
class IGEditorDelegate : public IEditorDelegate
{
public:
    explicit IGEditorDelegate(int nParams);
    ~IGEditorDelegate() override;

    void* OpenEditor(void* parent, void* context) override;
    void CloseEditor() override;
    void FitEditorToHostSize(int width, int height) override;
    bool OnHostKeyDown(const IKeyStroke& key) override;
    bool OnHostKeyUp(const IKeyStroke& key) override;
    void PushControlValue(int ctrlTag, double normalised) override;
    void PushControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data) override;
    void PushMidiToEditor(const IMidiEvent& msg) override;
    void PushParamValueToEditor(int paramIdx, double value, bool isNormalised) override;
    // Record: i32 width, i32 height, f32 scale.
    bool SaveEditorState(IStateBuffer& state) const override;
    int LoadEditorState(const IStateBuffer& state, int startPos) override;
    void ApplyContentScale(float scale) override;

    virtual IGraphics* BuildGraphicsContext();
    virtual void RunLayoutFunction(IGraphics* graphics);
    // A host is about to frame an editor that is not open yet: the held editor size becomes the
    // window size the editor will open at on a screen of the given scale. The default keeps
    // the held size.
    virtual void PrepareEditorSize(float screenScale);

    IGraphics* GetGraphics() const { return graphics; }
    int GetSavedWidth() const { return savedWidth; }
    int GetSavedHeight() const { return savedHeight; }
    float GetSavedScale() const { return savedScale; }

protected:
    MakeGraphicsFunction makeGraphicsFunction;
    LayoutFunction layoutFunction;
    IGraphics* graphics = nullptr;
    int savedWidth = 0;
    int savedHeight = 0;
    float savedScale = 0.0f;
    bool closingEditor = false;
};

} // namespace igraphics
} // namespace iplug
