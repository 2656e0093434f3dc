// The local clipboard as peers see it, under Wine: the format list text and one format's data, and
// the list of a data object of the test's own.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>

#include "clipboard/FormatNames.h"
#include "clipboard/LocalClipboard.h"
#include "protocol/WideText.h"
#include "settings/Settings.h"
#include "support/ClipboardContents.h"
#include "support/TestHelpers.h"

namespace {

// A data object whose formats are there or not; only its list is read. It lives on the test's
// stack: no reference counting.
struct CTestDataObject : IDataObject {
    explicit CTestDataObject(std::vector<std::pair<UINT, bool>> formats) : m_formats(std::move(formats)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return (*object = riid == IID_IUnknown || riid == IID_IDataObject ? this : nullptr) ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        for (const auto& [id, available] : m_formats)
            if (id == format->cfFormat && available) return S_OK;
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** formats) override {
        std::vector<FORMATETC> list;
        for (const auto& format : m_formats)
            list.push_back({CLIPFORMAT(format.first), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return ::SHCreateStdEnumFmtEtc(UINT(list.size()), list.data(), formats);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }
    std::vector<std::pair<UINT, bool>> m_formats;
};

struct LocalClipboardTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
    CLocalClipboard m_clipboard;
    const UINT m_html = ::RegisterClipboardFormatW(L"HTML Format");
};

TEST_F(LocalClipboardTest, TheListNamesEveryAvailableFormatAndEachCanBeRead) {
    const ByteBlock dib = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 4, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0};
    const ByteBlock html = {'<', 'b', '>', 0}, files = WriteDropFiles({u"C:\\windows\\win.ini", u"C:\\"});
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(L"Pelko says hello")}, {m_html, html},
                                 {CF_PRIVATEFIRST, {7, 0}}, {CF_HDROP, files}, {CF_DIB, dib}});
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
    EXPECT_NE(GlobalLockGuard(text.Get()).Data(), static_cast<void*>(text.Get()));   // a movable block
    EXPECT_EQ(testutil::WideTextOf(text.Get()), L"Pelko says hello");
    EXPECT_EQ(testutil::BytesOf(UniqueGlobal(m_clipboard.GetClipboardData(L"HTML Format")).Get()), html);
    for (const wchar_t* absent : {L"CF_WAVE", L"Pelko Format Nobody Uses", L""})
        EXPECT_EQ(m_clipboard.GetClipboardData(absent), nullptr);
    EXPECT_EQ(::GetClipboardOwner(), owner);  // reading takes no ownership

    for (const BOOL toNetworkPaths : {TRUE, FALSE}) {
        theSettings.ConvertFilenameToUNC = toNetworkPaths;
        const std::wstring drive = toNetworkPaths ? L"\\\\" + testutil::ComputerName() + L"\\C$" : L"C:";
        UniqueGlobal drop(m_clipboard.GetClipboardData(L"CF_HDROP"));
        EXPECT_EQ(ReadDropFileList(drop.Get()), (std::vector<std::u16string>{ToUtf16(drive + L"\\windows\\win.ini"), u"C:\\"}));
    }
    // Wine's data object gives no CF_DIB: it is copied from the clipboard, which is closed again.
    EXPECT_EQ(testutil::BytesOf(UniqueGlobal(m_clipboard.GetClipboardData(L"CF_DIB")).Get()), dib);
    CClipboardContents empty({});
    ASSERT_TRUE(empty.filled);  // a window could open the clipboard
    EXPECT_TRUE(m_clipboard.GetLocalClipInfo(list) && list.empty());

    // Of a data object, only the formats it says are available.
    CTestDataObject data({{CF_TEXT, false}, {CF_UNICODETEXT, true}, {m_html, true}, {CF_PRIVATEFIRST, true},
                          {CF_OEMTEXT, false}});
    CLocalClipboard::ListFormats(&data, list);
    EXPECT_EQ(list, L"CF_UNICODETEXT/HTML Format/(Unknown)");   // in the object's order, the private format as (Unknown)
}

}  // namespace
