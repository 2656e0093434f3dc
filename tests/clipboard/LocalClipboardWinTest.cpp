// The local clipboard as peers see it, read under Wine from a clipboard that another process
// (pelko_clip_owner.exe) owns: the format list text, one format's data, the name/id mapping,
// reading from two threads at once, and the work on a data object of the test's own.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "ClipOwnerProcess.h"
#include "clipboard/FileListBlocks.h"
#include "clipboard/FileLists.h"
#include "clipboard/LocalClipboard.h"
#include "clipboard/Utf16.h"
#include "settings/Settings.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

std::vector<std::wstring> Split(const std::wstring& list) {
    std::vector<std::wstring> names;
    for (std::size_t at = 0; at <= list.size();) {
        std::size_t slash = std::min(list.find(L'/', at), list.size());
        names.push_back(list.substr(at, slash - at));
        at = slash + 1;
    }
    return names;
}

bool IsMovable(HGLOBAL block) {
    void* data = ::GlobalLock(block);
    ::GlobalUnlock(block);
    return data && data != static_cast<void*>(block);
}

// The names of the formats that the clipboard itself lists (EnumClipboardFormats), as this
// program names them.
std::multiset<std::wstring> NamesOnClipboard() {
    CLocalClipboard names;
    std::multiset<std::wstring> found;
    if (!::OpenClipboard(nullptr)) return {L"<clipboard could not be opened>"};
    for (UINT id = ::EnumClipboardFormats(0); id != 0; id = ::EnumClipboardFormats(id)) {
        const wchar_t* name = names.FormatNameFromId(id);
        found.insert(name ? name : L"(Unknown)");
    }
    ::CloseClipboard();
    return found;
}

class LocalClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        theSettings.ConvertFilenameToUNC = TRUE;
    }
    void TearDown() override { ::OleUninitialize(); }

    CLocalClipboard m_clipboard;
};

// ---------------------------------------------------------------- names and ids

TEST_F(LocalClipboardTest, PredefinedNamesMapToTheirIdsInAnyLetterCase) {
    const struct { const wchar_t* name; UINT id; } rows[] = {
        {L"cf_text", 1}, {L"CF_UNICODETEXT", 13}, {L"Cf_HDrop", 15}, {L"cF_dSpEnHmEtAfIlE", 142}, {nullptr, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(CLocalClipboard::FormatIdFromName(row.name), row.id);
    }
}

TEST_F(LocalClipboardTest, OtherNamesAreRegistered) {
    const UINT html = CLocalClipboard::FormatIdFromName(L"HTML Format");
    EXPECT_GE(html, 0xC000u);
    EXPECT_EQ(html, ::RegisterClipboardFormatW(L"HTML Format"));
    const UINT fresh = CLocalClipboard::FormatIdFromName(L"Pelko Format Nobody Uses");
    EXPECT_GE(fresh, 0xC000u);
    EXPECT_NE(fresh, html);
}

TEST_F(LocalClipboardTest, IdsMapBackToNames) {
    const UINT registered = ::RegisterClipboardFormatW(L"Pelko Round Trip");
    const struct { UINT id; const wchar_t* name; } rows[] = {
        {15, L"CF_HDROP"}, {142, L"CF_DSPENHMETAFILE"}, {registered, L"Pelko Round Trip"},
        {18, nullptr},               // no such predefined format
        {CF_PRIVATEFIRST, nullptr},  // private formats have no name
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_STREQ(m_clipboard.FormatNameFromId(row.id), row.name);
    }
}

// ---------------------------------------------------------------- a clipboard another process owns

TEST_F(LocalClipboardTest, TextListsEveryFormatTheClipboardReports) {
    CClipOwnerProcess owner({L"text=Pelko says hello"});
    ASSERT_TRUE(owner.IsReady());
    DebugOutputCapture capture;
    std::wstring list = L"left over";
    ASSERT_TRUE(m_clipboard.GetLocalClipInfo(list));

    ASSERT_FALSE(list.empty());
    EXPECT_NE(list.front(), L'/');
    EXPECT_NE(list.back(), L'/');
    EXPECT_EQ(list.find(L"//"), std::wstring::npos);
    const auto names = Split(list);
    const std::multiset<std::wstring> listed(names.begin(), names.end());
    EXPECT_EQ(listed, NamesOnClipboard()) << "list: " << std::string(list.begin(), list.end());
    for (const wchar_t* expected : {L"CF_UNICODETEXT", L"CF_TEXT", L"CF_OEMTEXT", L"CF_LOCALE"})
        EXPECT_EQ(listed.count(expected), 1u) << "missing " << std::string(expected, expected + wcslen(expected));

    // One trace line per format, in list order, each available.
    std::vector<std::wstring> traced;
    for (const auto& message : capture.Messages()) {
        if (message.rfind(L"ENUM [", 0) == 0) traced.push_back(message);
    }
    ASSERT_EQ(traced.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        wchar_t expected[300];
        _snwprintf(expected, 300, L"ENUM [%s]=%d;  avail=1", names[i].c_str(),
                   int(CLocalClipboard::FormatIdFromName(names[i].c_str())));
        EXPECT_EQ(traced[i], expected);
    }
    EXPECT_EQ(owner.Quit(), 0u);
}

TEST_F(LocalClipboardTest, AnEmptyClipboardGivesAnEmptyList) {
    CClipOwnerProcess owner({});
    ASSERT_TRUE(owner.IsReady());
    std::wstring list = L"left over";
    EXPECT_TRUE(m_clipboard.GetLocalClipInfo(list));
    EXPECT_EQ(list, L"");
}

TEST_F(LocalClipboardTest, RegisteredAndPrivateFormatsAreListed) {
    CClipOwnerProcess owner({L"named=HTML Format:<b>bold</b>", L"private=secret"});
    ASSERT_TRUE(owner.IsReady());
    std::wstring list;
    ASSERT_TRUE(m_clipboard.GetLocalClipInfo(list));
    const auto names = Split(list);
    EXPECT_EQ(std::count(names.begin(), names.end(), L"HTML Format"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), L"(Unknown)"), 1);

    UniqueGlobal html(m_clipboard.GetClipboardData(L"HTML Format"));
    EXPECT_EQ(testutil::AnsiTextOf(html.Get()), "<b>bold</b>");
}

TEST_F(LocalClipboardTest, DataOfANamedFormatIsAMovableBlockTheCallerOwns) {
    CClipOwnerProcess owner({L"text=Pelko says hello"});
    ASSERT_TRUE(owner.IsReady());
    const HWND ownerWindow = ::GetClipboardOwner();
    DebugOutputCapture capture;

    UniqueGlobal text(m_clipboard.GetClipboardData(L"cf_unicodetext"));
    ASSERT_TRUE(text);
    EXPECT_TRUE(IsMovable(text.Get()));
    EXPECT_EQ(testutil::WideTextOf(text.Get()), L"Pelko says hello");
    EXPECT_EQ(capture.Messages().front(), L"CServer:GetClipboardData cf_unicodetext");

    // Reading took no ownership: the helper still owns the clipboard.
    EXPECT_EQ(::GetClipboardOwner(), ownerWindow);
    DWORD ownerProcess = 0;
    ::GetWindowThreadProcessId(ownerWindow, &ownerProcess);
    EXPECT_EQ(ownerProcess, owner.ProcessId());
}

TEST_F(LocalClipboardTest, FormatsNotOnTheClipboardGiveNull) {
    CClipOwnerProcess owner({L"text=Pelko says hello"});
    ASSERT_TRUE(owner.IsReady());
    EXPECT_EQ(m_clipboard.GetClipboardData(L"CF_DIB"), nullptr);
    EXPECT_EQ(m_clipboard.GetClipboardData(L"Pelko Format Nobody Uses"), nullptr);
    EXPECT_EQ(m_clipboard.GetClipboardData(L""), nullptr);
}

TEST_F(LocalClipboardTest, AFileListLeavesWithNetworkPathsWhileTheSettingIsOn) {
    CClipOwnerProcess owner({L"hdrop=C:\\windows\\win.ini|C:\\"});
    ASSERT_TRUE(owner.IsReady());
    UniqueGlobal converted(m_clipboard.GetClipboardData(L"CF_HDROP"));
    ASSERT_TRUE(converted);
    EXPECT_TRUE(IsMovable(converted.Get()));
    const std::wstring share = L"\\\\" + testutil::ComputerName() + L"\\C$";
    EXPECT_EQ(ReadDropFileList(converted.Get()),
              (std::vector<std::u16string>{ToUtf16(share + L"\\windows\\win.ini"), u"C:\\"}));

    theSettings.ConvertFilenameToUNC = FALSE;
    UniqueGlobal local(m_clipboard.GetClipboardData(L"CF_HDROP"));
    ASSERT_TRUE(local);
    EXPECT_EQ(ReadDropFileList(local.Get()), (std::vector<std::u16string>{u"C:\\windows\\win.ini", u"C:\\"}));
}

TEST_F(LocalClipboardTest, TwoThreadsReadAtOnceWhileAnotherProcessOwnsTheClipboard) {
    CClipOwnerProcess owner({L"text=Pelko says hello", L"named=HTML Format:<i>x</i>"});
    ASSERT_TRUE(owner.IsReady());
    std::wstring expected;
    ASSERT_TRUE(m_clipboard.GetLocalClipInfo(expected));
    const HWND ownerWindow = ::GetClipboardOwner();

    // Both threads start together and read the clipboard over and over; they are fresh threads
    // on which nothing has initialised OLE, like the serving connections' event threads.
    constexpr int kRounds = 25;
    UniqueKernelHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> listFailures{0}, dataFailures{0}, rounds{0};
    auto reader = [&] {
        ::WaitForSingleObject(go.Get(), INFINITE);
        for (int i = 0; i < kRounds; ++i) {
            std::wstring list;
            if (!m_clipboard.GetLocalClipInfo(list) || list != expected) ++listFailures;
            UniqueGlobal text(m_clipboard.GetClipboardData(L"CF_UNICODETEXT"));
            if (!text || testutil::WideTextOf(text.Get()) != L"Pelko says hello") ++dataFailures;
            UniqueGlobal html(m_clipboard.GetClipboardData(L"HTML Format"));
            if (!html) ++dataFailures;
            ++rounds;
        }
    };
    std::thread first(reader), second(reader);
    ::SetEvent(go.Get());
    first.join();
    second.join();
    EXPECT_EQ(rounds.load(), 2 * kRounds);
    EXPECT_EQ(listFailures.load(), 0);
    EXPECT_EQ(dataFailures.load(), 0);
    EXPECT_EQ(::GetClipboardOwner(), ownerWindow);
    EXPECT_EQ(owner.Quit(), 0u);
}

// ---------------------------------------------------------------- on a data object of the test's own

// A data object whose formats, availability and way of handing over data the test chooses.
class CTestDataObject : public IDataObject {
public:
    enum class Handover { Movable, Fixed, Shared, Bitmap, Refuse };
    struct Format {
        UINT id;
        bool available;
        Handover handover = Handover::Movable;
    };
    explicit CTestDataObject(std::vector<Format> formats) : m_formats(std::move(formats)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }  // lives on the test's stack

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        const Format* found = Find(format->cfFormat);
        if (!found || !found->available || found->handover == Handover::Refuse) return DV_E_FORMATETC;
        *medium = {};
        static const char kPayload[] = "payload";
        switch (found->handover) {
        case Handover::Bitmap:
            medium->tymed = TYMED_GDI;
            medium->hBitmap = ::CreateBitmap(1, 1, 1, 1, nullptr);
            return S_OK;
        case Handover::Shared:
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = m_shared = CopyToGlobal({reinterpret_cast<const std::uint8_t*>(kPayload), 8});
            medium->pUnkForRelease = this;
            AddRef();
            return S_OK;
        default: {
            const UINT flags = found->handover == Handover::Fixed ? GMEM_FIXED : GMEM_MOVEABLE;
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = ::GlobalAlloc(flags, 8);
            std::memcpy(::GlobalLock(medium->hGlobal), kPayload, 8);
            ::GlobalUnlock(medium->hGlobal);
            m_lastHanded = medium->hGlobal;
            return S_OK;
        }
        }
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        const Format* found = Find(format->cfFormat);
        return found && found->available ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
        std::vector<FORMATETC> list;
        for (const auto& format : m_formats)
            list.push_back({CLIPFORMAT(format.id), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return ::SHCreateStdEnumFmtEtc(UINT(list.size()), list.data(), formats);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    ULONG References() const { return m_references; }
    HGLOBAL LastHanded() const { return m_lastHanded; }
    HGLOBAL Shared() const { return m_shared; }

private:
    const Format* Find(UINT id) const {
        for (const auto& format : m_formats)
            if (format.id == id) return &format;
        return nullptr;
    }
    std::vector<Format> m_formats;
    ULONG m_references = 1;
    HGLOBAL m_lastHanded = nullptr;
    HGLOBAL m_shared = nullptr;
};

TEST_F(LocalClipboardTest, UnavailableFormatsLeaveNoTraceInTheList) {
    const UINT named = ::RegisterClipboardFormatW(L"Pelko Listed Name");
    CTestDataObject data({{CF_TEXT, false}, {CF_UNICODETEXT, true}, {CF_LOCALE, false}, {named, true},
                          {CF_PRIVATEFIRST, true}, {CF_OEMTEXT, false}});
    DebugOutputCapture capture;
    std::wstring list = L"left over";
    CLocalClipboard::ListFormats(&data, list);
    EXPECT_EQ(list, L"CF_UNICODETEXT/Pelko Listed Name/(Unknown)");

    wchar_t namedLine[100];
    _snwprintf(namedLine, 100, L"ENUM [Pelko Listed Name]=%d;  avail=1", int(named));
    EXPECT_EQ(capture.Messages(), (std::vector<std::wstring>{
                                      L"ENUM [CF_TEXT]=1;  avail=0",
                                      L"ENUM [CF_UNICODETEXT]=13;  avail=1",
                                      L"ENUM [CF_LOCALE]=16;  avail=0",
                                      namedLine,
                                      L"ENUM [(Unknown)]=512;  avail=1",
                                      L"ENUM [CF_OEMTEXT]=7;  avail=0",
                                  }));
}

TEST_F(LocalClipboardTest, NothingAvailableGivesAnEmptyList) {
    CTestDataObject data({{CF_TEXT, false}, {CF_OEMTEXT, false}});
    std::wstring list = L"left over";
    CLocalClipboard::ListFormats(&data, list);
    EXPECT_EQ(list, L"");
}

// A block the data object gives away is taken as it is when movable, copied into a movable
// block when fixed.
TEST_F(LocalClipboardTest, AGivenBlockIsTakenWhenMovableAndCopiedWhenFixed) {
    using Handover = CTestDataObject::Handover;
    for (const Handover handover : {Handover::Movable, Handover::Fixed}) {
        SCOPED_TRACE(handover == Handover::Movable ? "movable" : "fixed");
        CTestDataObject data({{CF_TEXT, true, handover}});
        UniqueGlobal block(CLocalClipboard::TakeGlobalData(&data, CF_TEXT));
        ASSERT_TRUE(block);
        EXPECT_EQ(block.Get() == data.LastHanded(), handover == Handover::Movable);
        EXPECT_TRUE(IsMovable(block.Get()));
        EXPECT_EQ(testutil::AnsiTextOf(block.Get()), "payload");
    }
}

TEST_F(LocalClipboardTest, ABlockTheDataObjectKeepsIsCopiedAndReleased) {
    CTestDataObject data({{CF_TEXT, true, CTestDataObject::Handover::Shared}});
    UniqueGlobal block(CLocalClipboard::TakeGlobalData(&data, CF_TEXT));
    ASSERT_TRUE(block);
    EXPECT_NE(block.Get(), data.Shared());
    EXPECT_EQ(testutil::AnsiTextOf(block.Get()), "payload");
    EXPECT_EQ(testutil::AnsiTextOf(data.Shared()), "payload");  // still the data object's, untouched
    EXPECT_EQ(data.References(), 1u);              // the medium's reference was given back
    ::GlobalFree(data.Shared());
}

TEST_F(LocalClipboardTest, DataThatIsNoGlobalBlockGivesNull) {
    CTestDataObject data({{CF_BITMAP, true, CTestDataObject::Handover::Bitmap},
                          {CF_TEXT, true, CTestDataObject::Handover::Refuse}});
    EXPECT_EQ(CLocalClipboard::TakeGlobalData(&data, CF_BITMAP), nullptr);
    EXPECT_EQ(CLocalClipboard::TakeGlobalData(&data, CF_TEXT), nullptr);
    EXPECT_EQ(CLocalClipboard::TakeGlobalData(&data, CF_DIB), nullptr);
}

}  // namespace
