#include "framework/core/IEditorDelegate.h"

#include <algorithm>

namespace iplug {

IEditorDelegate::IEditorDelegate(int nParams)
{
    for (int i = 0; i < nParams; ++i)
        params.Append(new IParam());
}

IEditorDelegate::~IEditorDelegate()
{
    params.DeleteAll();
}

void* IEditorDelegate::OpenEditor(void* parent, void* context)
{
    OnEditorOpened();
    return nullptr;
}

void IEditorDelegate::CloseEditor()
{
    OnEditorClosing();
}

void IEditorDelegate::FitEditorToHostSize(int width, int height) {}

void IEditorDelegate::OnEditorOpened()
{
    PushAllParamsToEditor();
}

void IEditorDelegate::OnEditorClosing() {}

void IEditorDelegate::OnParamValueChanged(int paramIdx) {}

// Also reached on the audio thread for host automation, so it must stay free of
// allocation and locks; the trace sink of these builds writes nothing.
void IEditorDelegate::OnParamChange(int paramIdx, ParamOrigin source, int sampleOffset)
{
    OnParamValueChanged(paramIdx);
}

void IEditorDelegate::OnEditorParamChange(int paramIdx, ParamOrigin source) {}

void IEditorDelegate::OnAllParamsChanged(ParamOrigin source)
{
    for (int i = 0; i < NParams(); ++i) {
        OnParamChange(i, source, -1);
        OnEditorParamChange(i, source);
    }
}

void IEditorDelegate::OnEditorMidi(const IMidiEvent& msg) {}

void IEditorDelegate::OnEditorSysex(const ISysexEvent& msg) {}

bool IEditorDelegate::HandleDelegateMessage(int msgTag, int ctrlTag, int dataSize, const void* data)
{
    return false;
}

void IEditorDelegate::OnStateRestored()
{
    PushAllParamsToEditor();
}

bool IEditorDelegate::OnHostKeyDown(const igraphics::IKeyStroke& key)
{
    return false;
}

bool IEditorDelegate::OnHostKeyUp(const igraphics::IKeyStroke& key)
{
    return false;
}

void IEditorDelegate::PushControlValue(int ctrlTag, double normalised) {}

void IEditorDelegate::PushControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data)
{
    HandleDelegateMessage(msgTag, ctrlTag, dataSize, data);
}

void IEditorDelegate::SendMessageToEditor(int msgTag, int dataSize, const void* data)
{
    HandleDelegateMessage(msgTag, -1, dataSize, data);
}

void IEditorDelegate::PushMidiToEditor(const IMidiEvent& msg)
{
    OnEditorMidi(msg);
}

void IEditorDelegate::PushSysexToEditor(const ISysexEvent& msg)
{
    OnEditorSysex(msg);
}

void IEditorDelegate::PushParamValueToEditor(int paramIdx, double value, bool isNormalised)
{
    OnEditorParamChange(paramIdx, kOriginDelegate);
}

void IEditorDelegate::ReportAllParamsToHost() {}

void IEditorDelegate::SetParamFromEditor(int paramIdx, double normalised)
{
    if (IParam* param = GetParam(paramIdx))
        param->SetNormalized(normalised);
    OnEditorParamChange(paramIdx, kOriginUI);
}

bool IEditorDelegate::OnEditorSizeChanged(int width, int height, bool resizeHostWindow)
{
    return false;
}

void IEditorDelegate::SendMidiFromEditor(const IMidiEvent& msg) {}

void IEditorDelegate::SendSysexFromEditor(const ISysexEvent& msg) {}

bool IEditorDelegate::SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data)
{
    return false;
}

void IEditorDelegate::QueueMidiForProcessor(const IMidiEvent& msg) {}

void IEditorDelegate::QueueSysexForProcessor(const ISysexEvent& msg) {}

bool IEditorDelegate::ClampEditorSize(int& width, int& height)
{
    if (width >= minWidth && width <= maxWidth && height >= minHeight && height <= maxHeight)
        return true;
    width = std::min(maxWidth, std::max(width, minWidth));
    height = std::min(maxHeight, std::max(height, minHeight));
    return false;
}

bool IEditorDelegate::SaveEditorState(IStateBuffer& state) const
{
    return true;
}

int IEditorDelegate::LoadEditorState(const IStateBuffer& state, int startPos)
{
    return startPos;
}

void IEditorDelegate::ApplyContentScale(float scale) {}

void IEditorDelegate::PushAllParamsToEditor()
{
    for (int i = 0; i < NParams(); ++i)
        PushParamValueToEditor(i, GetParam(i)->GetNormalized(), true);
}

} // namespace iplug
