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
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }

    CLocalClipboard m_clipboard;
    const UINT m_html = ::RegisterClipboardFormatW(L"HTML Format");
};

TEST_F(LocalClipboardTest, TheListNamesEveryFormatOnTheClipboardAndEachCanBeRead) {
    const ByteBlock dib = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 4, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0};
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(L"Pelko says hello")}, {m_html, {'<', 'b', '>', 0}},
                                 {CF_PRIVATEFIRST, {7, 0}}, {CF_HDROP, WriteDropFiles({u"C:\\windows\\win.ini", u"C:\\"})}, {CF_DIB, dib}});
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

    const std::u16string share = ToUtf16(L"\\\\" + testutil::ComputerName() + L"\\C$");
    for (const BOOL toNetworkPaths : {TRUE, FALSE}) {
        theSettings.ConvertFilenameToUNC = toNetworkPaths;
        UniqueGlobal drop(m_clipboard.GetClipboardData(L"CF_HDROP"));
        const std::u16string first = toNetworkPaths ? share + u"\\windows\\win.ini" : u"C:\\windows\\win.ini";
        EXPECT_EQ(ReadDropFileList(drop.Get()), (std::vector<std::u16string>{first, u"C:\\"}));
    }
    // Wine's data object gives no CF_DIB: it is copied from the clipboard, which is closed again.
    EXPECT_EQ(BytesOf(UniqueGlobal(m_clipboard.GetClipboardData(L"CF_DIB")).Get()), dib);
    CClipboardContents empty({});
    ASSERT_TRUE(empty.filled);  // a window could open the clipboard
    EXPECT_TRUE(m_clipboard.GetLocalClipInfo(list));
    EXPECT_EQ(list, L"");
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

// A data object of formats that are there or not; a movable block is handed over, or one it keeps.
enum class Format { Unavailable, Handed, Kept };
class CTestDataObject : public IDataObject {
public:
    explicit CTestDataObject(std::vector<std::pair<UINT, Format>> formats) : m_formats(std::move(formats)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDataObject ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        const Format kind = Find(format->cfFormat);
        if (kind == Format::Unavailable) return DV_E_FORMATETC;
        *medium = {TYMED_HGLOBAL};
        medium->hGlobal = CopyToGlobal(kPayload);
        if (kind == Format::Handed) {
            handed = medium->hGlobal;
        } else {
            kept = medium->hGlobal;
            medium->pUnkForRelease = this;
            AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return Find(format->cfFormat) == Format::Unavailable ? DV_E_FORMATETC : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** formats) override {
        std::vector<FORMATETC> list;
        for (const auto& [id, kind] : m_formats) list.push_back({CLIPFORMAT(id), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return ::SHCreateStdEnumFmtEtc(UINT(list.size()), list.data(), formats);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    static inline const ByteBlock kPayload = {'p', 'a', 'y', 'l', 'o', 'a', 'd', 0};
    ULONG references = 1;
    HGLOBAL handed = nullptr, kept = nullptr;

private:
    Format Find(UINT id) const {
        for (const auto& [known, kind] : m_formats) if (known == id) return kind;
        return Format::Unavailable;
    }
    std::vector<std::pair<UINT, Format>> m_formats;
};

TEST_F(LocalClipboardTest, TheListLeavesOutFormatsThatAreNotAvailable) {
    CTestDataObject data({{CF_TEXT, Format::Unavailable}, {CF_UNICODETEXT, Format::Handed}, {m_html, Format::Handed},
                          {CF_PRIVATEFIRST, Format::Handed}, {CF_OEMTEXT, Format::Unavailable}});
    DebugOutputCapture capture;
    std::wstring list = L"left over";
    CLocalClipboard::ListFormats(&data, list);
    EXPECT_EQ(list, L"CF_UNICODETEXT/HTML Format/(Unknown)");
    EXPECT_EQ(capture.Messages(), (std::vector<std::wstring>{L"ENUM [CF_TEXT]=1;  avail=0", L"ENUM [CF_UNICODETEXT]=13;  avail=1",
        L"ENUM [HTML Format]=" + std::to_wstring(m_html) + L";  avail=1", L"ENUM [(Unknown)]=512;  avail=1",
        L"ENUM [CF_OEMTEXT]=7;  avail=0"}));
    CTestDataObject nothing({{CF_TEXT, Format::Unavailable}});
    CLocalClipboard::ListFormats(&nothing, list);
    EXPECT_EQ(list, L"");
}

// A movable block handed over is taken as it is; one the data object keeps is copied and given back.
TEST_F(LocalClipboardTest, DataBecomesABlockOfTheCallersOwn) {
    CTestDataObject data({{CF_TEXT, Format::Handed}, {CF_OEMTEXT, Format::Kept}});
    UniqueGlobal handed(CLocalClipboard::TakeGlobalData(&data, CF_TEXT)), copied(CLocalClipboard::TakeGlobalData(&data, CF_OEMTEXT));
    EXPECT_EQ(handed.Get(), data.handed);
    EXPECT_NE(copied.Get(), data.kept);
    EXPECT_TRUE(IsMovable(copied.Get()));
    EXPECT_EQ(BytesOf(copied.Get()), CTestDataObject::kPayload);
    EXPECT_EQ(BytesOf(data.kept), CTestDataObject::kPayload);  // still the data object's
    EXPECT_EQ(data.references, 1u);                            // the medium's reference was given back
    EXPECT_EQ(CLocalClipboard::TakeGlobalData(&data, CF_DIB), nullptr);
    ::GlobalFree(data.kept);
}

}  // namespace
