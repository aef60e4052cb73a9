#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <ole2.h>

#include "framework/core/TextBuffer.h"

namespace iplug::igraphics::DragAndDropHelpers {

// The OLE objects of dragging one file out of the editor. Each starts with one
// reference and deletes itself when the last one goes.

class DataObject : public IDataObject
{
public:
    // Keeps its own copy of format (and of its target device), so the caller's record
    // may go away during the drag.
    DataObject(const FORMATETC& format, const char* utf8Path);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    virtual ~DataObject();
    HRESULT CheckFormat(const FORMATETC* format) const;

    LONG references = 1;
    TextBuffer path;
    FORMATETC format;
};

class DropSource : public IDropSource
{
public:
    DropSource() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    virtual ~DropSource() = default;
    LONG references = 1;
};

class EnumFORMATETC : public IEnumFORMATETC
{
public:
    EnumFORMATETC(const FORMATETC& format, ULONG position = 0);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override;

private:
    virtual ~EnumFORMATETC();
    LONG references = 1;
    FORMATETC format;
    ULONG position;
};

// A FORMATETC copy whose target device (when any) is a new CoTaskMemAlloc block.
FORMATETC CopyFormat(const FORMATETC& format);

} // namespace iplug::igraphics::DragAndDropHelpers
