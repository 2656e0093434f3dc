// The local clipboard as peers see it, under Wine: the format list text and one format's data
// (from fresh threads too), and the work on a data object of the test's own.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "ClipboardContents.h"
#include "clipboard/FormatNames.h"
#include "clipboard/LocalClipboard.h"
#include "clipboard/Utf16.h"
#include "settings/Settings.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

using testutil::BytesOf;
using testutil::WideTextOf;

bool IsMovable(HGLOBAL block) {
    void* data = ::GlobalLock(block);
    ::GlobalUnlock(block);
    return data && data != static_cast<void*>(block);
}

class LocalClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        theSettings.ConvertFilenameToUNC = TRUE;
    }
    void TearDown() override { ::OleUninitialize(); }

    CLocalClipboard m_clipboard;
    const UINT m_html = ::RegisterClipboardFormatW(L"HTML Format");
};

TEST_F(LocalClipboardTest, TheListNamesEveryFormatOnTheClipboardAndReadingLeavesItClosed) {
    const ByteBlock dib = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 4, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0};
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(L"Pelko says hello")},
                                 {m_html, {'<', 'b', '>', 0}}, {CF_PRIVATEFIRST, {7, 0}}, {CF_DIB, dib}});
    ASSERT_TRUE(contents.filled);
    std::wstring list = L"left over";
    ASSERT_TRUE(m_clipboard.GetLocalClipInfo(list));
    std::multiset<std::wstring> listed, onClipboard;
    for (std::u16string& name : SplitFormatList(ToUtf16(list))) listed.insert(ToWide(name));
    ASSERT_TRUE(::OpenClipboard(nullptr));
    for (UINT id = ::EnumClipboardFormats(0); id != 0; id = ::EnumClipboardFormats(id))
        onClipboard.insert(m_clipboard.FormatNameFromId(id) ? m_clipboard.FormatNameFromId(id) : L"(Unknown)");
    ::CloseClipboard();
    EXPECT_EQ(listed, onClipboard);  // with CF_TEXT made from the text, the private format as (Unknown)

    const HWND owner = ::GetClipboardOwner();
    UniqueGlobal text(m_clipboard.GetClipboardData(L"cf_unicodetext"));
    EXPECT_TRUE(IsMovable(text.Get()));
    EXPECT_EQ(WideTextOf(text.Get()), L"Pelko says hello");
    EXPECT_EQ(testutil::AnsiTextOf(UniqueGlobal(m_clipboard.GetClipboardData(L"HTML Format")).Get()), "<b>");
    for (const wchar_t* absent : {L"CF_WAVE", L"Pelko Format Nobody Uses", L""})
        EXPECT_EQ(m_clipboard.GetClipboardData(absent), nullptr);
    EXPECT_EQ(::GetClipboardOwner(), owner);  // reading takes no ownership
    // Wine's data object gives no CF_DIB: it is copied from the clipboard, which is closed again.
    EXPECT_EQ(BytesOf(UniqueGlobal(m_clipboard.GetClipboardData(L"CF_DIB")).Get()), dib);
    CClipboardContents empty({});
    ASSERT_TRUE(empty.filled);  // a window could open the clipboard
    EXPECT_TRUE(m_clipboard.GetLocalClipInfo(list));
    EXPECT_EQ(list, L"");
}

TEST_F(LocalClipboardTest, AFileListLeavesWithNetworkPathsWhileTheSettingIsOn) {
    CClipboardContents contents({{CF_HDROP, WriteDropFiles({u"C:\\windows\\win.ini", u"C:\\"})}});
    ASSERT_TRUE(contents.filled);
    const std::u16string share = ToUtf16(L"\\\\" + testutil::ComputerName() + L"\\C$");
    for (const BOOL setting : {TRUE, FALSE}) {
        theSettings.ConvertFilenameToUNC = setting;
        UniqueGlobal drop(m_clipboard.GetClipboardData(L"CF_HDROP"));
        EXPECT_EQ(ReadDropFileList(drop.Get()), (std::vector<std::u16string>{
                                                    setting ? share + u"\\windows\\win.ini" : u"C:\\windows\\win.ini", u"C:\\"}));
    }
}

// The serving connections read on fresh threads of their own, on which nothing initialised OLE.
TEST_F(LocalClipboardTest, TwoThreadsReadAtOnce) {
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(L"Pelko says hello")}, {m_html, {'x', 0}}});
    ASSERT_TRUE(contents.filled);
    std::wstring expected;
    ASSERT_TRUE(m_clipboard.GetLocalClipInfo(expected));
    std::atomic<int> failures{0};
    auto reader = [&] {
        for (int i = 0; i < 25; ++i) {
            std::wstring list;
            UniqueGlobal text(m_clipboard.GetClipboardData(L"CF_UNICODETEXT")), html(m_clipboard.GetClipboardData(L"HTML Format"));
            if (!m_clipboard.GetLocalClipInfo(list) || list != expected || !html || WideTextOf(text.Get()) != L"Pelko says hello")
                ++failures;
        }
    };
    std::thread first(reader), second(reader);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

// A data object whose formats, availability and handing over of data the test chooses.
enum class Handover { Movable, Fixed, Shared, Bitmap, Refuse, Unavailable };
class CTestDataObject : public IDataObject {
public:
    explicit CTestDataObject(std::vector<std::pair<UINT, Handover>> formats) : m_formats(std::move(formats)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDataObject ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        const Handover handover = Find(format->cfFormat);
        if (handover >= Handover::Refuse) return DV_E_FORMATETC;
        *medium = {TYMED_HGLOBAL};
        if (handover == Handover::Bitmap) {
            medium->tymed = TYMED_GDI;
            medium->hBitmap = ::CreateBitmap(1, 1, 1, 1, nullptr);
        } else if (handover == Handover::Shared) {
            medium->hGlobal = shared = CopyToGlobal(kPayload);
            medium->pUnkForRelease = this;
            AddRef();
        } else {
            medium->hGlobal = handed = ::GlobalAlloc(handover == Handover::Fixed ? GMEM_FIXED : GMEM_MOVEABLE, 8);
            std::memcpy(::GlobalLock(handed), kPayload.data(), 8);
            ::GlobalUnlock(handed);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return Find(format->cfFormat) == Handover::Unavailable ? DV_E_FORMATETC : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** formats) override {
        std::vector<FORMATETC> list;
        for (const auto& [id, handover] : m_formats) list.push_back({CLIPFORMAT(id), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return ::SHCreateStdEnumFmtEtc(UINT(list.size()), list.data(), formats);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    static inline const ByteBlock kPayload = {'p', 'a', 'y', 'l', 'o', 'a', 'd', 0};
    ULONG references = 1;
    HGLOBAL handed = nullptr, shared = nullptr;

private:
    Handover Find(UINT id) const {
        for (const auto& [known, handover] : m_formats) if (known == id) return handover;
        return Handover::Unavailable;
    }
    std::vector<std::pair<UINT, Handover>> m_formats;
};

TEST_F(LocalClipboardTest, TheListLeavesOutFormatsThatAreNotAvailable) {
    CTestDataObject data({{CF_TEXT, Handover::Unavailable}, {CF_UNICODETEXT, Handover::Movable},
                          {m_html, Handover::Movable}, {CF_PRIVATEFIRST, Handover::Movable}, {CF_OEMTEXT, Handover::Unavailable}});
    DebugOutputCapture capture;
    std::wstring list = L"left over";
    CLocalClipboard::ListFormats(&data, list);
    EXPECT_EQ(list, L"CF_UNICODETEXT/HTML Format/(Unknown)");
    EXPECT_EQ(capture.Messages(), (std::vector<std::wstring>{L"ENUM [CF_TEXT]=1;  avail=0", L"ENUM [CF_UNICODETEXT]=13;  avail=1",
        L"ENUM [HTML Format]=" + std::to_wstring(m_html) + L";  avail=1", L"ENUM [(Unknown)]=512;  avail=1",
        L"ENUM [CF_OEMTEXT]=7;  avail=0"}));
    CTestDataObject nothing({{CF_TEXT, Handover::Unavailable}});
    CLocalClipboard::ListFormats(&nothing, list);
    EXPECT_EQ(list, L"");
}

// A movable block handed over is taken as it is; a fixed one, or one the data object keeps, is copied.
TEST_F(LocalClipboardTest, HandedOverDataBecomesAMovableBlockOfTheCaller) {
    for (const Handover handover : {Handover::Movable, Handover::Fixed, Handover::Shared, Handover::Bitmap, Handover::Refuse}) {
        SCOPED_TRACE(int(handover));
        CTestDataObject data({{CF_TEXT, handover}});
        UniqueGlobal block(CLocalClipboard::TakeGlobalData(&data, CF_TEXT));
        EXPECT_EQ(data.references, 1u);  // a medium's reference is given back
        if (handover >= Handover::Bitmap) {
            EXPECT_FALSE(block);
            continue;
        }
        EXPECT_EQ(block.Get() == data.handed, handover == Handover::Movable);
        EXPECT_TRUE(IsMovable(block.Get()));
        EXPECT_EQ(BytesOf(block.Get()), CTestDataObject::kPayload);
        if (!data.shared) continue;
        EXPECT_EQ(BytesOf(data.shared), CTestDataObject::kPayload);  // still the data object's
        ::GlobalFree(data.shared);
    }
}

}  // namespace
