// The Windows side's view of wire texts: wchar_t and the wire's UTF-16 units are the same.
#include <gtest/gtest.h>

#include <string>

#include "protocol/WhoMessage.h"
#include "protocol/WideText.h"

TEST(WideText, ConvertsUnitForUnit) {
    EXPECT_EQ(ToUtf16(L"CF_TEXT"), u"CF_TEXT");
    EXPECT_EQ(ToWide(u"CF_TEXT"), L"CF_TEXT");
    const std::wstring wide = L"\x00C4\xD83D\xDE00\xFFFF";
    EXPECT_EQ(ToUtf16(wide), u"\u00C4\U0001F600\uFFFF");
    EXPECT_EQ(ToWide(ToUtf16(wide)), wide);
}

TEST(WideText, WhoMessageTakesAWideNickname) {
    CWhoMessage wide(L"ABCDEFGHIJKLMNOPQRST");
    CWhoMessage narrow(u"ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(wide.header.length, 16u);
    EXPECT_EQ(wide.nickname, narrow.nickname);
    EXPECT_EQ(ToWide(wide.ReadNickname().value()), L"ABCDEFGHIJKLMNO");
    EXPECT_EQ(CWhoMessage(L"").header.length, 0u);
    EXPECT_EQ(CWhoMessage(static_cast<const wchar_t*>(nullptr)).header.length, 0u);
}
