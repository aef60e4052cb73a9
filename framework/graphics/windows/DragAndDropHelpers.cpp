#include "framework/graphics/windows/DragAndDropHelpers.h"

#include "framework/graphics/windows/DropFilesBlock.h"

#include <cstring>

namespace iplug::igraphics::DragAndDropHelpers {

FORMATETC CopyFormat(const FORMATETC& format)
{
    FORMATETC copy = format;
    if (format.ptd) {
        copy.ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(format.ptd->tdSize));
        if (copy.ptd)
            std::memcpy(copy.ptd, format.ptd, format.ptd->tdSize);
    }
    return copy;
}

DataObject::DataObject(const FORMATETC& format, const char* utf8Path)
    : OleObject(IID_IDataObject), path(utf8Path), format(CopyFormat(format))
{}

DataObject::~DataObject()
{
    if (format.ptd)
        CoTaskMemFree(format.ptd);
}

HRESULT DataObject::CheckFormat(const FORMATETC* asked) const
{
    if (!asked)
        return E_INVALIDARG;
    if (asked->cfFormat != CF_HDROP || !(asked->tymed & TYMED_HGLOBAL) || !(asked->dwAspect & DVASPECT_CONTENT))
        return DV_E_FORMATETC;
    return S_OK;
}

HRESULT DataObject::GetData(FORMATETC* asked, STGMEDIUM* medium)
{
    const HRESULT check = CheckFormat(asked);
    if (check != S_OK)
        return check;
    if (!medium)
        return E_INVALIDARG;
    HGLOBAL block = MakeDropFilesBlock(path.Get());
    if (!block)
        return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT DataObject::QueryGetData(FORMATETC* asked)
{
    return CheckFormat(asked);
}

HRESULT DataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT DataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out)
{
    if (!out)
        return E_POINTER;
    if (direction != DATADIR_GET) {
        *out = nullptr;
        return E_NOTIMPL;
    }
    *out = new EnumFORMATETC(format);
    return S_OK;
}

HRESULT DropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
    if (escapePressed)
        return DRAGDROP_S_CANCEL;
    if (!(keyState & MK_LBUTTON))
        return DRAGDROP_S_DROP;
    return S_OK;
}

EnumFORMATETC::EnumFORMATETC(const FORMATETC& format, ULONG position)
    : OleObject(IID_IEnumFORMATETC), format(CopyFormat(format)), position(position)
{}

EnumFORMATETC::~EnumFORMATETC()
{
    if (format.ptd)
        CoTaskMemFree(format.ptd);
}

HRESULT EnumFORMATETC::Next(ULONG count, FORMATETC* formats, ULONG* fetched)
{
    if (fetched)
        *fetched = 0;
    if (!fetched && count != 1)
        return S_FALSE;
    if (position != 0 || count == 0 || !formats)
        return S_FALSE;
    formats[0] = CopyFormat(format);
    position = 1;
    if (fetched)
        *fetched = 1;
    return S_OK;
}

HRESULT EnumFORMATETC::Skip(ULONG count)
{
    if (position + count >= 1)
        return S_FALSE;
    position += count;
    return S_OK;
}

HRESULT EnumFORMATETC::Reset()
{
    position = 0;
    return S_OK;
}

HRESULT EnumFORMATETC::Clone(IEnumFORMATETC** out)
{
    if (!out)
        return E_POINTER;
    *out = new EnumFORMATETC(format, position);
    return S_OK;
}

} // namespace iplug::igraphics::DragAndDropHelpers
