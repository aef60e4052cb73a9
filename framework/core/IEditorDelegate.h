#pragma once

#include "framework/core/IParam.h"
#include "framework/core/ParamOrigin.h"
#include "framework/core/PointerList.h"
#include "framework/core/QueueRecords.h"

namespace iplug {

class IStateBuffer;

namespace igraphics {
struct IKeyStroke;
}

// First link of the plug-in chain: owns the parameters and the editor size limits and
// carries the traffic between parameters, the editor and the host, seen from the
// editor's side. Every operation has a default; later links and the product override them.
class IEditorDelegate
{
public:
    explicit IEditorDelegate(int nParams);
    virtual ~IEditorDelegate();

    IEditorDelegate(const IEditorDelegate&) = delete;
    IEditorDelegate& operator=(const IEditorDelegate&) = delete;

    virtual void* OpenEditor(void* parent, void* context);
    virtual void CloseEditor();
    virtual void FitEditorToHostSize(int width, int height);
    virtual void OnEditorOpened();
    virtual void OnEditorClosing();
    virtual void OnParamValueChanged(int paramIdx);
    virtual void OnParamChange(int paramIdx, ParamOrigin source, int sampleOffset);
    virtual void OnEditorParamChange(int paramIdx, ParamOrigin source);
    virtual void OnAllParamsChanged(ParamOrigin source);
    virtual void OnEditorMidi(const IMidiEvent& msg);
    virtual void OnEditorSysex(const ISysexEvent& msg);
    virtual bool HandleDelegateMessage(int msgTag, int ctrlTag, int dataSize, const void* data);
    virtual void OnStateRestored();
    virtual bool OnHostKeyDown(const igraphics::IKeyStroke& key);
    virtual bool OnHostKeyUp(const igraphics::IKeyStroke& key);
    virtual void PushControlValue(int ctrlTag, double normalised);
    virtual void PushControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data);
    virtual void SendMessageToEditor(int msgTag, int dataSize, const void* data);
    virtual void PushMidiToEditor(const IMidiEvent& msg);
    virtual void PushSysexToEditor(const ISysexEvent& msg);
    virtual void PushParamValueToEditor(int paramIdx, double value, bool isNormalised);
    virtual void ReportAllParamsToHost();
    virtual void BeginParamEditFromEditor(int paramIdx) = 0;
    virtual void SetParamFromEditor(int paramIdx, double normalised);
    virtual void EndParamEditFromEditor(int paramIdx) = 0;
    virtual bool OnEditorSizeChanged(int width, int height, bool resizeHostWindow);
    virtual void SendMidiFromEditor(const IMidiEvent& msg);
    virtual void SendSysexFromEditor(const ISysexEvent& msg);
    virtual bool SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data);
    virtual void QueueMidiForProcessor(const IMidiEvent& msg);
    virtual void QueueSysexForProcessor(const ISysexEvent& msg);
    // True when the size is within the limits; otherwise clamps it and answers false.
    virtual bool ClampEditorSize(int& width, int& height);
    virtual bool SaveEditorState(IStateBuffer& state) const;
    virtual int LoadEditorState(const IStateBuffer& state, int startPos);
    virtual void ApplyContentScale(float scale);

    void PushAllParamsToEditor();

    // Null for any index outside 0..NParams-1.
    IParam* GetParam(int idx) const { return params.Get(idx); }
    int NParams() const { return params.Count(); }

    int GetEditorWidth() const { return editorWidth; }
    int GetEditorHeight() const { return editorHeight; }
    void SetEditorSize(int width, int height)
    {
        editorWidth = width;
        editorHeight = height;
    }
    int GetMinWidth() const { return minWidth; }
    int GetMaxWidth() const { return maxWidth; }
    int GetMinHeight() const { return minHeight; }
    int GetMaxHeight() const { return maxHeight; }
    void SetSizeLimits(int minW, int maxW, int minH, int maxH)
    {
        minWidth = minW;
        maxWidth = maxW;
        minHeight = minH;
        maxHeight = maxH;
    }

protected:
    PointerList<IParam> params;
    int editorWidth = 0;
    int editorHeight = 0;
    int minWidth = 10;
    int maxWidth = 100000;
    int minHeight = 10;
    int maxHeight = 100000;
};

} // namespace iplug
