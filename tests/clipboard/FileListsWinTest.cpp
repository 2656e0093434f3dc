// File lists with the system's answers under Wine: the text of an ANSI list through the code
// page, and the "Shell IDList Array" of the paths that the shell parses.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FileLists.h"
#include "clipboard/Utf16.h"
#include "support/TestHelpers.h"

namespace {

TEST(FileLists, TextOfAnAnsiListIsDecodedThroughTheCodePage) {
    ByteBlock ansi = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    static const char kList[] = "C:\\caf\xE9.txt\0D:\\b\0";  // the compiler adds the closing NUL
    ansi.insert(ansi.end(), kList, kList + sizeof kList);
    UniqueGlobal drop(CopyToGlobal(ansi));
    UniqueGlobal text(CreateTextFromHDROP(drop.Get()));
    EXPECT_EQ(testutil::WideTextOf(text.Get()), L"C:\\caf\u00E9.txt\r\nD:\\b\r\n");
    EXPECT_EQ(testutil::BytesOf(drop.Get()), ansi);  // the list is only read
}

TEST(FileLists, TheIdListArrayHoldsThePathsThatParse) {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring first = temp + std::wstring(L"pelko-first.txt"), third = temp + std::wstring(L"pelko-third.txt");
    for (const auto& file : {first, third})
        ::CloseHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::u16string missing = ToUtf16(temp + std::wstring(L"pelko-missing.txt"));
    UniqueGlobal drop(CopyToGlobal(WriteDropFiles({ToUtf16(first), missing, ToUtf16(third)})));
    UniqueGlobal array(CreateIDListArray(drop.Get()));
    const auto read = ReadIdListArray(testutil::BytesOf(array.Get()));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->parent, (ByteBlock{0, 0}));  // the desktop: the items are absolute
    ASSERT_EQ(read->items.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        wchar_t path[MAX_PATH] = {};
        ::SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(read->items[i].data()), path);
        EXPECT_EQ(path, i == 0 ? first : third);
    }
    UniqueGlobal none(CopyToGlobal(WriteDropFiles({missing})));
    EXPECT_EQ(CreateIDListArray(none.Get()), nullptr);
    for (const auto& file : {first, third}) ::DeleteFileW(file.c_str());
    ::OleUninitialize();
}

}  // namespace
