// The local clipboard as peers see it, under Wine: the format list text, one format's data, the
// name/id mapping, reading from two threads at once, and the work on a data object of the test's own.
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

using testutil::WideTextOf;

std::string Narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }  // ASCII names

bool IsMovable(HGLOBAL block) {
    void* data = ::GlobalLock(block);
    ::GlobalUnlock(block);
    return data && data != static_cast<void*>(block);
}

// Whether another thread can open the clipboard now: reading must leave it closed.
bool OthersCanOpenTheClipboard() {
    bool opened = false;
    std::thread([&] { if ((opened = ::OpenClipboard(nullptr) != FALSE)) ::CloseClipboard(); }).join();
    return opened;
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

TEST_F(LocalClipboardTest, FormatNamesAndIdsMapBothWays) {
    EXPECT_EQ(CLocalClipboard::FormatIdFromName(L"cF_dSpEnHmEtAfIlE"), 142u);
    EXPECT_EQ(CLocalClipboard::FormatIdFromName(L"HTML Format"), m_html);
    const UINT fresh = CLocalClipboard::FormatIdFromName(L"Pelko Format Nobody Uses");  // registered now
    EXPECT_GE(fresh, 0xC000u);
    EXPECT_NE(fresh, m_html);
    EXPECT_STREQ(m_clipboard.FormatNameFromId(15), L"CF_HDROP");
    EXPECT_STREQ(m_clipboard.FormatNameFromId(fresh), L"Pelko Format Nobody Uses");
    EXPECT_EQ(m_clipboard.FormatNameFromId(18), nullptr);               // no such predefined format
    EXPECT_EQ(m_clipboard.FormatNameFromId(CF_PRIVATEFIRST), nullptr);  // private formats have no name
}

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
    EXPECT_EQ(listed, onClipboard) << Narrow(list);
    for (const wchar_t* name : {L"CF_UNICODETEXT", L"CF_TEXT", L"HTML Format", L"(Unknown)", L"CF_DIB"})
        EXPECT_EQ(listed.count(name), 1u) << Narrow(name);

    const HWND owner = ::GetClipboardOwner();
    DebugOutputCapture capture;
    UniqueGlobal text(m_clipboard.GetClipboardData(L"cf_unicodetext"));
    ASSERT_TRUE(text);
    EXPECT_TRUE(IsMovable(text.Get()));
    EXPECT_EQ(WideTextOf(text.Get()), L"Pelko says hello");
    EXPECT_EQ(capture.Messages().front(), L"CServer:GetClipboardData cf_unicodetext");
    EXPECT_EQ(testutil::AnsiTextOf(UniqueGlobal(m_clipboard.GetClipboardData(L"HTML Format")).Get()), "<b>");
    UniqueGlobal copied(m_clipboard.GetClipboardData(L"CF_DIB"));  // read from the clipboard itself
    EXPECT_EQ(testutil::BytesOf(copied.Get()), dib);
    for (const wchar_t* absent : {L"CF_WAVE", L"Pelko Format Nobody Uses", L""})
        EXPECT_EQ(m_clipboard.GetClipboardData(absent), nullptr) << Narrow(absent);
    EXPECT_EQ(::GetClipboardOwner(), owner);  // reading takes no ownership
    EXPECT_TRUE(OthersCanOpenTheClipboard());

    CClipboardContents empty({});
    ASSERT_TRUE(empty.filled);
    EXPECT_TRUE(m_clipboard.GetLocalClipInfo(list));
    EXPECT_EQ(list, L"");
}

TEST_F(LocalClipboardTest, AFileListLeavesWithNetworkPathsWhileTheSettingIsOn) {
    CClipboardContents contents({{CF_HDROP, WriteDropFiles({u"C:\\windows\\win.ini", u"C:\\"})}});
    ASSERT_TRUE(contents.filled);
    UniqueGlobal converted(m_clipboard.GetClipboardData(L"CF_HDROP"));
    EXPECT_TRUE(IsMovable(converted.Get()));
    const std::u16string share = ToUtf16(L"\\\\" + testutil::ComputerName() + L"\\C$");
    EXPECT_EQ(ReadDropFileList(converted.Get()), (std::vector<std::u16string>{share + u"\\windows\\win.ini", u"C:\\"}));

    theSettings.ConvertFilenameToUNC = FALSE;
    UniqueGlobal local(m_clipboard.GetClipboardData(L"CF_HDROP"));
    EXPECT_EQ(ReadDropFileList(local.Get()), (std::vector<std::u16string>{u"C:\\windows\\win.ini", u"C:\\"}));
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
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
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
        EXPECT_EQ(testutil::BytesOf(block.Get()), CTestDataObject::kPayload);
        if (!data.shared) continue;
        EXPECT_EQ(testutil::BytesOf(data.shared), CTestDataObject::kPayload);  // still the data object's
        ::GlobalFree(data.shared);
    }
}

}  // namespace
