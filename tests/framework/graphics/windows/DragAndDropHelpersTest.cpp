#include "framework/graphics/windows/DragAndDropHelpers.h"
#include "framework/graphics/windows/DropFilesBlock.h"

#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

namespace iplug::igraphics {
namespace {

using namespace DragAndDropHelpers;

FORMATETC HDropFormat()
{
    return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

// What a drop target reads from the block: exactly one file, the whole path.
std::wstring DroppedFile(HGLOBAL block)
{
    auto drop = static_cast<HDROP>(block);
    EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 1u);
    wchar_t name[MAX_PATH] = {};
    DragQueryFileW(drop, 0, name, MAX_PATH);
    return name;
}

const char* kPolishPath = "C:\\U\xc5\xbc"
                          "ytkownik\\Zaj\xc4\x99te.marlquin";
const wchar_t* kPolishPathW = L"C:\\U\u017cytkownik\\Zaj\u0119te.marlquin";

TEST(DropFilesBlockTest, HoldsOneWidePathWithADoubleTerminator)
{
    HGLOBAL block = MakeDropFilesBlock(kPolishPath);
    ASSERT_NE(block, nullptr);
    const size_t units = std::wstring(kPolishPathW).size();
    EXPECT_EQ(GlobalSize(block), sizeof(DROPFILES) + (units + 2) * sizeof(wchar_t));
    auto* record = static_cast<DROPFILES*>(GlobalLock(block));
    EXPECT_EQ(record->pFiles, sizeof(DROPFILES));
    EXPECT_TRUE(record->fWide);
    const auto* list = reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(record) + record->pFiles);
    EXPECT_EQ(list[units], L'\0');
    EXPECT_EQ(list[units + 1], L'\0');
    GlobalUnlock(block);
    EXPECT_EQ(DroppedFile(block), kPolishPathW);
    GlobalFree(block);

    HGLOBAL mixed = MakeDropFilesBlock("C:\\Users\\AppData/Ostrevane/Zaj\xc4\x99te.marlquin");
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(DroppedFile(mixed), L"C:\\Users\\AppData\\Ostrevane\\Zaj\u0119te.marlquin");
    GlobalFree(mixed);

    EXPECT_EQ(MakeDropFilesBlock(""), nullptr);
    EXPECT_EQ(MakeDropFilesBlock("\xff\xfe"), nullptr) << "not UTF-8";
}

TEST(DragAndDropHelpersTest, DataObjectOffersOnlyTheFileDropFormat)
{
    auto* data = new DataObject(HDropFormat(), kPolishPath);
    FORMATETC asked = HDropFormat();
    EXPECT_EQ(data->QueryGetData(&asked), S_OK);
    EXPECT_EQ(data->QueryGetData(nullptr), E_INVALIDARG);
    FORMATETC text = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&text), DV_E_FORMATETC);
    FORMATETC stream = HDropFormat();
    stream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(data->QueryGetData(&stream), DV_E_FORMATETC);

    STGMEDIUM medium = {};
    ASSERT_EQ(data->GetData(&asked, &medium), S_OK);
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(medium.pUnkForRelease, nullptr);
    EXPECT_EQ(DroppedFile(medium.hGlobal), kPolishPathW);
    ReleaseStgMedium(&medium);

    IUnknown* unknown = nullptr;
    EXPECT_EQ(data->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    IDropSource* wrong = nullptr;
    EXPECT_EQ(data->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
    EXPECT_EQ(data->Release(), 0u);
}

TEST(DragAndDropHelpersTest, DataObjectKeepsItsOwnFormatAndEnumeratesIt)
{
    auto* format = new FORMATETC(HDropFormat());
    auto* data = new DataObject(*format, "C:\\a.txt");
    delete format;

    EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, nullptr), E_POINTER);
    IEnumFORMATETC* none = reinterpret_cast<IEnumFORMATETC*>(1);
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &none), E_NOTIMPL);
    EXPECT_EQ(none, nullptr);

    IEnumFORMATETC* formats = nullptr;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    FORMATETC got = {};
    ULONG fetched = 9;
    EXPECT_EQ(formats->Next(1, &got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got.cfFormat, CF_HDROP);
    EXPECT_EQ(formats->Next(1, &got, &fetched), S_FALSE) << "only one format";
    EXPECT_EQ(fetched, 0u);

    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(formats->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, &got, nullptr), S_FALSE) << "the clone keeps the position";
    clone->Reset();
    EXPECT_EQ(clone->Next(1, &got, nullptr), S_OK);
    EXPECT_EQ(clone->Next(2, &got, nullptr), S_FALSE) << "more than one needs a fetched count";
    clone->Release();
    formats->Release();
    data->Release();
}

TEST(DragAndDropHelpersTest, DropSourceDropsOnReleaseAndCancelsOnEscape)
{
    auto* source = new DropSource;
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, 0), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    EXPECT_EQ(source->Release(), 0u);
}

} // namespace
} // namespace iplug::igraphics
