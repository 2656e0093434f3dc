// File lists with the system's answers under Wine: network paths through this computer's
// administrative shares, the text of ANSI lists, our reader against DragQueryFileW, and the
// "Shell IDList Array" of paths that the shell parses.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FileLists.h"
#include "clipboard/Utf16.h"
#include "support/TestHelpers.h"

namespace {

using Paths = std::vector<std::u16string>;

class FileListsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
};

TEST_F(FileListsTest, NetworkPathsAndTextComeFromTheSystemsAnswers) {
    HGLOBAL drop = CopyToGlobal(WriteDropFiles({u"C:\\windows\\win.ini", u"C:\\", u"\\\\srv\\pub\\x.doc"}));
    UniqueGlobal converted(ConvertDropToUNC(drop));
    const std::u16string share = ToUtf16(L"\\\\" + testutil::ComputerName() + L"\\C$");
    EXPECT_EQ(ReadDropFileList(converted.Get()), (Paths{share + u"\\windows\\win.ini", u"C:\\", u"\\\\srv\\pub\\x.doc"}));
    UniqueGlobal empty(CopyToGlobal(WriteDropFiles({})));
    EXPECT_EQ(ConvertDropToUNC(empty.Get()), empty.Get());  // nothing to convert: the same block
    EXPECT_EQ(CreateTextFromHDROP(empty.Get()), nullptr);

    ByteBlock ansi(20, 0);
    ansi[0] = 20, ansi[12] = 1;
    static const char kList[] = "C:\\caf\xE9.txt\0D:\\b\0";  // the compiler adds the closing NUL
    ansi.insert(ansi.end(), kList, kList + sizeof kList);
    UniqueGlobal ansiDrop(CopyToGlobal(ansi));
    UniqueGlobal text(CreateTextFromHDROP(ansiDrop.Get()));
    EXPECT_EQ(testutil::WideTextOf(text.Get()), L"C:\\caf\u00E9.txt\r\nD:\\b\r\n");  // through the code page
    EXPECT_EQ(testutil::BytesOf(ansiDrop.Get()), ansi);                             // the list is only read
}

TEST_F(FileListsTest, OurReaderAgreesWithDragQueryFile) {
    UniqueGlobal drop(CopyToGlobal(WriteDropFiles({u"C:\\a.txt", u"C:\\" + std::u16string(300, u'y'), u"\\\\srv\\c"})));
    const Paths ours = ReadDropFileList(drop.Get());
    ASSERT_EQ(ours.size(), ::DragQueryFileW(HDROP(drop.Get()), 0xFFFFFFFF, nullptr, 0));
    for (UINT i = 0; i < ours.size(); ++i) {
        wchar_t path[kDropPathChars];
        const UINT length = ::DragQueryFileW(HDROP(drop.Get()), i, path, kDropPathChars);
        EXPECT_EQ(ours[i], ToUtf16(std::wstring_view(path, length))) << "path " << i;
    }
}

std::wstring PathOfIdList(const ByteBlock& list) {
    wchar_t path[MAX_PATH] = {};
    return ::SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(list.data()), path) ? path : L"<no path>";
}

TEST_F(FileListsTest, TheIdListArrayLeavesOutPathsThatDoNotParse) {
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
    EXPECT_EQ(PathOfIdList(read->items[0]), first);
    EXPECT_EQ(PathOfIdList(read->items[1]), third);
    UniqueGlobal none(CopyToGlobal(WriteDropFiles({missing})));
    EXPECT_EQ(CreateIDListArray(none.Get()), nullptr);
    for (const auto& file : {first, third}) ::DeleteFileW(file.c_str());
}

}  // namespace
