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

// Reference counting and the interface query of an object with one interface.
template <class Interface>
class OleObject : public Interface
{
public:
    explicit OleObject(REFIID iid) : iid(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID asked, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (asked == IID_IUnknown || asked == iid) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~OleObject() = default;

private:
    LONG references = 1;
    const IID& iid;
};

class DataObject : public OleObject<IDataObject>
{
public:
    // Keeps its own copy of format (and of its target device), so the caller's record
    // may go away during the drag.
    DataObject(const FORMATETC& format, const char* utf8Path);

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
    ~DataObject() override;
    HRESULT CheckFormat(const FORMATETC* format) const;

    TextBuffer path;
    FORMATETC format;
};

class DropSource : public OleObject<IDropSource>
{
public:
    DropSource() : OleObject(IID_IDropSource) {}
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

class EnumFORMATETC : public OleObject<IEnumFORMATETC>
{
public:
    EnumFORMATETC(const FORMATETC& format, ULONG position = 0);
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override;

private:
    ~EnumFORMATETC() override;
    FORMATETC format;
    ULONG position;
};

// A FORMATETC copy whose target device (when any) is a new CoTaskMemAlloc block.
FORMATETC CopyFormat(const FORMATETC& format);

} // namespace iplug::igraphics::DragAndDropHelpers
