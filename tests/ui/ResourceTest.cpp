// The resources the program relies on: icons at both sizes, the skin's bitmaps, the tray menu and
// the message box's dialog template as the program expects them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/Handles.h"
#include "framework/Window.h"
#include "resource.h"

namespace {

// Reads a dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items) field by field.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* bytes) : m_bytes(bytes) {}
    template <typename T>
    T Read() {
        T value;
        std::memcpy(&value, m_bytes + m_at, sizeof(T));
        m_at += sizeof(T);
        return value;
    }
    // A string, or an ordinal (0xFFFF and a number) given back as "#number".
    std::wstring ReadTextOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text;
        for (WORD c = first; c != 0; c = Read<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignToDword() { m_at = (m_at + 3) & ~size_t{3}; }

private:
    const BYTE* m_bytes;
    size_t m_at = 0;
};

struct DialogItem {
    DWORD exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::wstring windowClass, title;
};

// The button class, by its ordinal (0x80) or by its name.
bool IsButtonClass(const std::wstring& windowClass) {
    return windowClass == L"#128" || ::lstrcmpiW(windowClass.c_str(), L"Button") == 0;
}

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return SIZE{0, 0};
    UniqueGdiObject color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    return SIZE{bitmap.bmWidth, bitmap.bmHeight};
}

}  // namespace

TEST(Resources, EveryIconHasA16And32PixelImage) {
    for (int id : {IDI_PELKO, IDI_HOST, IDI_MESSAGE, IDI_CHECK, IDI_PELKO_LOCKED}) {
        for (int size : {16, 32}) {
            UniqueIcon icon(static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
            ASSERT_TRUE(icon) << id;
            const SIZE got = IconSize(icon.Get());
            EXPECT_EQ(size, got.cx) << id;
            EXPECT_EQ(size, got.cy) << id;
        }
    }
}

TEST(Resources, TheSkinBitmapsLoad) {
    struct Expected { int id; int width; int height; };
    for (const Expected& e : {Expected{147, 8, 8}, Expected{146, 8, 8}, Expected{142, 8, 8}, Expected{143, 8, 8},
                              Expected{145, 15, 14}, Expected{144, 16, 16}, Expected{148, 32, 32}}) {
        UniqueGdiObject bitmap(::LoadBitmapW(ModuleInstance(), MAKEINTRESOURCEW(e.id)));
        ASSERT_TRUE(bitmap) << e.id;
        BITMAP info{};
        ASSERT_NE(0, ::GetObjectW(bitmap.Get(), sizeof(info), &info)) << e.id;
        EXPECT_EQ(e.width, info.bmWidth) << e.id;
        EXPECT_EQ(e.height, info.bmHeight) << e.id;
        // The pattern bitmaps become brushes.
        UniqueGdiObject brush(::CreatePatternBrush(static_cast<HBITMAP>(bitmap.Get())));
        EXPECT_TRUE(brush) << e.id;
    }
}

TEST(Resources, TheTrayMenuIsTheFirstPopupOfMenu135) {
    UniqueMenu menu(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu);
    wchar_t title[32] = {};
    ::GetMenuStringW(menu.Get(), 0, title, 32, MF_BYPOSITION);
    EXPECT_STREQ(L"Tray", title);
    HMENU popup = ::GetSubMenu(menu.Get(), 0);
    ASSERT_NE(nullptr, popup);
    ASSERT_EQ(5, ::GetMenuItemCount(popup));
    const UINT ids[] = {0, ID_TRAY_LOCK, 0, ID_TRAY_OPEN_MAIN, ID_TRAY_EXIT};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ids[i], ::GetMenuItemID(popup, i)) << i;
}

TEST(Resources, TheMessageBoxTemplateIsAsDrawnUp) {
    HRSRC found = ::FindResourceW(ModuleInstance(), MAKEINTRESOURCEW(IDD_MESSAGE), RT_DIALOG);
    ASSERT_NE(nullptr, found);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(ModuleInstance(), found)));
    ASSERT_NE(nullptr, bytes);
    TemplateReader reader(bytes);
    EXPECT_EQ(1, reader.Read<WORD>());        // dlgVer
    EXPECT_EQ(0xFFFF, reader.Read<WORD>());   // signature: an extended template
    reader.Read<DWORD>();                     // helpID
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), reader.Read<DWORD>());
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | DS_SETFOREGROUND | DS_3DLOOK | DS_SETFONT), reader.Read<DWORD>());
    EXPECT_EQ(2, reader.Read<WORD>());        // items
    // The box's place and size, and the close button's and the "Ok" button's places, are set when
    // the box opens (checked by the message box tests): the template's values do not matter.
    for (int i = 0; i < 4; ++i) reader.Read<short>();
    EXPECT_EQ(L"", reader.ReadTextOrOrdinal());   // no menu
    EXPECT_EQ(L"", reader.ReadTextOrOrdinal());   // the standard dialog class
    EXPECT_EQ(L"", reader.ReadTextOrOrdinal());   // no caption
    EXPECT_EQ(8, reader.Read<WORD>());            // point size
    reader.Read<WORD>();                          // weight
    reader.Read<BYTE>();                          // italic
    reader.Read<BYTE>();                          // character set
    EXPECT_EQ(L"MS Sans Serif", reader.ReadTextOrOrdinal());

    DialogItem read[2];
    for (DialogItem& item : read) {
        reader.AlignToDword();
        reader.Read<DWORD>();   // helpID
        item.exStyle = reader.Read<DWORD>();
        item.style = reader.Read<DWORD>();
        item.x = reader.Read<short>();
        item.y = reader.Read<short>();
        item.cx = reader.Read<short>();
        item.cy = reader.Read<short>();
        item.id = reader.Read<DWORD>();
        item.windowClass = reader.ReadTextOrOrdinal();
        item.title = reader.ReadTextOrOrdinal();
        const WORD extra = reader.Read<WORD>();
        for (WORD i = 0; i < extra; ++i) reader.Read<BYTE>();
    }
    const DWORD okStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW | BS_FLAT;
    EXPECT_EQ(static_cast<DWORD>(IDOK), read[0].id);
    EXPECT_EQ(L"Ok", read[0].title);
    EXPECT_TRUE(IsButtonClass(read[0].windowClass)) << read[0].windowClass;
    EXPECT_EQ(okStyle, read[0].style);
    EXPECT_EQ(45, read[0].cx);
    EXPECT_EQ(16, read[0].cy);

    const DWORD closeStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    EXPECT_EQ(static_cast<DWORD>(IDCANCEL), read[1].id);
    EXPECT_EQ(L"x", read[1].title);
    EXPECT_TRUE(IsButtonClass(read[1].windowClass)) << read[1].windowClass;
    EXPECT_EQ(closeStyle, read[1].style);
}

TEST(Resources, TheStringTableHasNoString123) {
    wchar_t text[8] = {};
    EXPECT_EQ(0, ::LoadStringW(ModuleInstance(), 123, text, 8));
    EXPECT_LT(0, ::LoadStringW(ModuleInstance(), IDS_REJECTED, text, 8));
}
