// The viewer chain under Wine: a window holding a CClipboardChain (as the hidden window does) among
// neighbour viewers that behave well or badly, the watchdog driven tick by tick, and the text form
// added to a file list copied without one.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "clipboard/ClipboardChain.h"
#include "clipboard/LocalClipboardWork.h"
#include "framework/Window.h"
#include "settings/Settings.h"
#include "support/ClipboardContents.h"
#include "support/TestHelpers.h"

namespace {

using Formats = std::vector<std::pair<UINT, ByteBlock>>;

// With a chain it stands in for the hidden window, whose handlers call the chain like these;
// without, it is another viewer that passes the chain's messages on, or swallows WM_DRAWCLIPBOARD.
class CViewer : public CWindow {
public:
    explicit CViewer(CClipboardChain* ownChain = nullptr) : chain(ownChain) {}
    bool Create() {
        const bool made = RegisterWindowClass(L"Pelko Test Viewer", 0, nullptr, nullptr, nullptr) &&
                          CreateEx(WS_EX_TOOLWINDOW, L"Pelko Test Viewer", L"Viewer", WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow());
        if (made && chain) chain->Join(Hwnd());
        else if (made) next = ::SetClipboardViewer(Hwnd());
        return made;
    }
    void LeaveChain() { ::ChangeClipboardChain(Hwnd(), next); }
    CClipboardChain* chain;
    bool swallows = false;
    HWND next = nullptr;
    int draws = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        const bool draw = message == WM_DRAWCLIPBOARD;
        if (!draw && message != WM_CHANGECBCHAIN) return DefaultProc(message, wParam, lParam);
        draws += draw;
        if (chain && draw) chain->OnDrawClipboard(Hwnd());
        else if (chain) chain->OnChangeCBChain(Hwnd(), HWND(wParam), HWND(lParam));
        else if (!draw && HWND(wParam) == next) next = HWND(lParam);
        else if ((!draw || !swallows) && ::IsWindow(next)) ::SendMessageW(next, message, wParam, lParam);
        return 0;
    }
};

// It starts with an empty chain and leaves none, whatever state the test left it in, so that no
// message runs round a loop.
struct ClipboardChainTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); ASSERT_EQ(::GetClipboardViewer(), nullptr); }
    void TearDown() override {
        for (CViewer* viewer : {&own, &first, &second, &third})
            ::ChangeClipboardChain(viewer->Hwnd(), nullptr), viewer->DestroyWindow();
        ::OleUninitialize();
    }
    CClipboardChain chain;
    CViewer own{&chain}, first, second, third;
};

// Viewers join in front and leavers are spliced out; the watchdog comes back from behind a viewer
// that swallows WM_DRAWCLIPBOARD. Then, in front again, the chain's window sees copies: a file list
// copied without text gets its text form while the setting is on.
TEST_F(ClipboardChainTest, ViewersJoinInFrontAndTheWatchdogComesBackAndAFileListGetsItsTextForm) {
    for (CViewer* viewer : {&third, &second, &first, &own}) ASSERT_TRUE(viewer->Create());
    // SetClipboardViewer's own WM_DRAWCLIPBOARD came through, and the watchdog runs.
    EXPECT_EQ(std::tuple(::GetClipboardViewer(), chain.InChain(), chain.TimerId()),
              std::tuple(own.Hwnd(), TRUE, CClipboardChain::kTimerId));
    second.LeaveChain();  // own -> first -> third: passed on to the window in front of the leaver
    EXPECT_EQ(std::pair(chain.NextViewer(), first.next), std::pair(first.Hwnd(), third.Hwnd()));
    first.LeaveChain();  // own -> third
    EXPECT_EQ(chain.NextViewer(), third.Hwnd());
    const int passedOn = third.draws;
    ::SendMessageW(own.Hwnd(), WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(third.draws, passedOn + 1);

    second.swallows = true;  // joins in front again, and passes nothing on
    second.next = ::SetClipboardViewer(second.Hwnd());
    const int draws = own.draws, probes = second.draws;
    for (int tick = 0; tick < 16; ++tick) chain.OnTimer(own.Hwnd());
    EXPECT_EQ(std::pair(::GetClipboardViewer(), own.draws), std::pair(second.Hwnd(), draws));
    chain.OnTimer(own.Hwnd());  // the 17th tick: registered again, it is notified again; one probe a tick
    EXPECT_EQ(std::tuple(::GetClipboardViewer(), own.draws, chain.NextViewer(), second.draws, chain.AbsenceCount()),
              std::tuple(own.Hwnd(), draws + 1, second.Hwnd(), probes + 17, 0));

    const ByteBlock drop = WriteDropFiles({u"C:\\pelko\\one.txt", u"C:\\pelko\\two.txt"});
    const Formats formats = {{CF_HDROP, drop}, {CF_UNICODETEXT, CClipboardContents::Text(L"carried")}};
    const std::wstring both = L"C:\\pelko\\one.txt\r\nC:\\pelko\\two.txt\r\n";
    // Last: a peer's read has the clipboard open when the copy is noticed; it steps aside for
    // the user's own work, which waits for it.
    const struct { BOOL setting; bool withText; std::wstring text; bool peerReading = false; } rows[] = {
        {TRUE, false, both}, {FALSE, false, L"<none>"}, {TRUE, true, L"carried"}, {TRUE, false, both, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.setting << row.withText << row.peerReading);
        theSettings.AddFilenameAsText = row.setting && !row.peerReading;
        const int before = own.draws;
        CClipboardContents contents(Formats(formats.begin(), formats.begin() + (row.withText ? 2 : 1)));
        ASSERT_TRUE(contents.filled);
        if (row.peerReading) {   // the copy was noticed with the setting off; now the peer reads
            ASSERT_TRUE(uitest::PumpUntil([&] { return own.draws > before; }));
            theSettings.AddFilenameAsText = TRUE;
            TestEvent open;
            std::thread peer([&open] {
                if (uitest::PumpUntil([] { return ::OpenClipboard(nullptr) != FALSE; })) open.Set();
                for (int i = 0; i < 3000 && !IsLocalClipboardWorkPending(); ++i) ::Sleep(10);
                ::CloseClipboard();
            });
            EXPECT_TRUE(open.Wait());
            ::SendMessageW(own.Hwnd(), WM_DRAWCLIPBOARD, 0, 0);
            peer.join();
        }
        // The copy's notification, and with the setting on the text there or added.
        ASSERT_TRUE(uitest::PumpUntil([&] {
            return own.draws > before && (!row.setting || ::IsClipboardFormatAvailable(CF_UNICODETEXT));
        }));
        ASSERT_TRUE(::OpenClipboard(nullptr));
        const HANDLE text = ::GetClipboardData(CF_UNICODETEXT);
        EXPECT_EQ(text ? testutil::WideTextOf(text) : L"<none>", row.text);
        ::CloseClipboard();
    }
}

}  // namespace
