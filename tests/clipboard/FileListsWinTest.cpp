// File lists with the system's answers under Wine: drive types, network paths through this
// computer's administrative shares, the text form, the "Shell IDList Array" parsed by the shell,
// and our reader checked against the system's own DragQueryFileW.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FileLists.h"
#include "clipboard/Utf16.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

using Paths = std::vector<std::u16string>;

HGLOBAL DropOf(const Paths& paths) {
    return CopyToGlobal(WriteDropFiles(paths));
}

using testutil::BytesOf;

class FileListsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
};

// ---------------------------------------------------------------- drive types

TEST_F(FileListsTest, DriveTypeOfAPathIsThatOfItsRootAndThePathIsRestored) {
    wchar_t file[] = L"C:\\windows\\win.ini";
    EXPECT_EQ(GetPathDriveType(file), UINT(DRIVE_FIXED));
    EXPECT_STREQ(file, L"C:\\windows\\win.ini");

    wchar_t root[] = L"C:\\";
    EXPECT_EQ(GetPathDriveType(root), UINT(DRIVE_UNKNOWN));
    wchar_t bare[] = L"win.ini";
    EXPECT_EQ(GetPathDriveType(bare), UINT(DRIVE_UNKNOWN));

    // A network path stands for the root of the current drive.
    wchar_t network[] = L"\\\\srv\\pub\\x.doc";
    EXPECT_EQ(GetPathDriveType(network), ::GetDriveTypeW(L"\\"));
    EXPECT_STREQ(network, L"\\\\srv\\pub\\x.doc");
}

// ---------------------------------------------------------------- network paths

TEST_F(FileListsTest, FixedDrivePathsBecomeAdministrativeSharePaths) {
    HGLOBAL drop = DropOf({u"C:\\windows\\win.ini", u"C:\\", u"Z:\\tmp\\a b.txt"});
    UniqueGlobal converted(ConvertDropToUNC(drop));
    ASSERT_TRUE(converted);
    ASSERT_NE(converted.Get(), drop);  // a new block; the given one was freed
    // The block itself is WriteDropFiles' work, checked byte for byte in the portable tests.
    const std::u16string share = ToUtf16(L"\\\\" + testutil::ComputerName() + L"\\");
    EXPECT_EQ(ReadDropFileList(converted.Get()),
              (Paths{share + u"C$\\windows\\win.ini", u"C:\\", share + u"Z$\\tmp\\a b.txt"}));
}

TEST_F(FileListsTest, AListWithoutFilesComesBackAsItWas) {
    UniqueGlobal empty(DropOf({}));
    EXPECT_EQ(ConvertDropToUNC(empty.Get()), empty.Get());
    EXPECT_EQ(ReadDropFileList(empty.Get()), Paths{});
}

// ---------------------------------------------------------------- text form

TEST_F(FileListsTest, TextOfAFileListIsEachPathWithCrLf) {
    ByteBlock ansi = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    static const char kList[] = "C:\\caf\xE9.txt\0D:\\b\0";  // the compiler adds the closing NUL
    ansi.insert(ansi.end(), kList, kList + sizeof(kList));
    const struct { const char* name; ByteBlock drop; std::wstring text; } rows[] = {
        {"one wide path", WriteDropFiles({u"C:\\x"}), L"C:\\x\r\n"},
        {"ANSI paths through the code page", ansi, L"C:\\caf\u00E9.txt\r\nD:\\b\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UniqueGlobal drop(CopyToGlobal(row.drop));
        DebugOutputCapture capture;
        UniqueGlobal text(CreateTextFromHDROP(drop.Get()));
        ASSERT_TRUE(text);
        EXPECT_EQ(testutil::WideTextOf(text.Get()), row.text);
        EXPECT_EQ(capture.Messages(), std::vector<std::wstring>{L"CreateTextFromHDROP"});
        EXPECT_EQ(BytesOf(drop.Get()), row.drop);  // the list is only read
    }
}

TEST_F(FileListsTest, NoFilesGiveNoText) {
    UniqueGlobal empty(DropOf({}));
    EXPECT_EQ(CreateTextFromHDROP(empty.Get()), nullptr);
}

// ---------------------------------------------------------------- our reader and the system's

TEST_F(FileListsTest, ReaderAgreesWithDragQueryFile) {
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'y');
    UniqueGlobal drop(DropOf({u"C:\\a.txt", longPath, u"\\\\srv\\pub\\c"}));
    const HDROP hdrop = static_cast<HDROP>(drop.Get());
    const UINT count = ::DragQueryFileW(hdrop, 0xFFFFFFFF, nullptr, 0);
    const Paths ours = ReadDropFileList(drop.Get());
    ASSERT_EQ(ours.size(), count);
    for (UINT i = 0; i < count; ++i) {
        wchar_t path[kDropPathChars];
        const UINT length = ::DragQueryFileW(hdrop, i, path, kDropPathChars);
        EXPECT_EQ(ours[i], ToUtf16(std::wstring_view(path, length))) << "path " << i;
    }
    EXPECT_EQ(ours[1].size(), 259u);
}

// ---------------------------------------------------------------- "Shell IDList Array"

class ScratchFiles {
public:
    ScratchFiles() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp) + L"pelko-cida-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(m_dir.c_str(), nullptr);
    }
    ~ScratchFiles() {
        for (const auto& file : m_files) ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(m_dir.c_str());
    }
    std::wstring Make(const wchar_t* name) {
        std::wstring path = m_dir + L"\\" + name;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        ::CloseHandle(file);
        m_files.push_back(path);
        return path;
    }
    std::wstring Missing(const wchar_t* name) const { return m_dir + L"\\" + name; }

private:
    std::wstring m_dir;
    std::vector<std::wstring> m_files;
};

std::uint32_t U32At(const ByteBlock& block, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, block.data() + offset, 4);
    return value;
}

std::wstring PathOfIdList(const ByteBlock& list) {
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(list.data()), path)) return L"<no path>";
    return path;
}

TEST_F(FileListsTest, IdListArrayLeavesOutAPathThatDoesNotParse) {
    ScratchFiles files;
    const std::wstring first = files.Make(L"first.txt");
    const std::wstring missing = files.Missing(L"missing.txt");
    const std::wstring third = files.Make(L"third.txt");
    UniqueGlobal drop(DropOf({ToUtf16(first), ToUtf16(missing), ToUtf16(third)}));

    UniqueGlobal array(CreateIDListArray(drop.Get()));
    ASSERT_TRUE(array);
    const ByteBlock block = BytesOf(array.Get());
    ASSERT_GE(block.size(), 22u);
    EXPECT_EQ(U32At(block, 0), 2u);          // cidl: two of three parsed
    EXPECT_EQ(U32At(block, 4), 4u * 3 + 8);  // the parent right after the four offsets
    EXPECT_EQ(U32At(block, 8), 4u * 3 + 10); // the first item right after the parent
    EXPECT_GT(U32At(block, 12), U32At(block, 8));
    EXPECT_EQ(U32At(block, 16), 0u);         // the third slot stays 0

    const auto read = ReadIdListArray(block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->parent, (ByteBlock{0, 0}));
    ASSERT_EQ(read->items.size(), 2u);
    EXPECT_EQ(PathOfIdList(read->items[0]), first);   // absolute: parsed from the desktop
    EXPECT_EQ(PathOfIdList(read->items[1]), third);
    // The block is exactly the header, the parent and the two lists.
    EXPECT_EQ(block.size() % 2, 0u);
    EXPECT_EQ(U32At(block, 12), U32At(block, 8) + read->items[0].size());
    EXPECT_GE(block.size(), U32At(block, 12) + read->items[1].size());
}

TEST_F(FileListsTest, NoParsedPathGivesNoIdListArray) {
    ScratchFiles files;
    UniqueGlobal drop(DropOf({ToUtf16(files.Missing(L"a.txt")), ToUtf16(files.Missing(L"b.txt"))}));
    EXPECT_EQ(CreateIDListArray(drop.Get()), nullptr);
    UniqueGlobal empty(DropOf({}));
    EXPECT_EQ(CreateIDListArray(empty.Get()), nullptr);
}

}  // namespace
