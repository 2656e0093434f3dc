// The portable rules of clipboard blocks: DROPFILES lists (read from any application, written), network
// paths from the system's answers (passed in), the "Shell IDList Array", the "/"-joined format list.
#include <gtest/gtest.h>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FormatNames.h"

using Paths = std::vector<std::u16string>;

// A DROPFILES header (pFiles, fWide), `padding` bytes, then `text`, two bytes a unit when wide.
static ByteBlock Drop(std::uint8_t pFiles, bool wide, std::u16string_view text, std::size_t padding = 0) {
    ByteBlock block = {pFiles, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, wide, 0, 0, 0};
    block.insert(block.end(), padding, 0xEE);
    for (char16_t c : text) {
        block.push_back(std::uint8_t(c));
        if (wide) block.push_back(std::uint8_t(c >> 8));
    }
    return block;
}
template <std::size_t N>
std::u16string_view Units(const char16_t (&text)[N]) { return {text, N - 1}; }  // with embedded NULs

TEST(DropFiles, ReadsOnlyWhatTheBlockHoldsAndWritesWidePaths) {
    const std::u16string path = u"C:\\" + std::u16string(300, u'x');
    const struct { const char* name; ByteBlock block; Paths expected; } rows[] = {
        {"wide paths in order", Drop(20, true, Units(u"C:\\a.txt\0D:\\dir\\b\0\0")), {u"C:\\a.txt", u"D:\\dir\\b"}},
        {"ANSI paths", Drop(20, false, Units(u"C:\\x\0\u00E9.txt\0\0")), {u"C:\\x", u"\u00E9.txt"}},
        {"pFiles past padding", Drop(24, true, Units(u"C:\\p\0\0"), 4), {u"C:\\p"}},
        {"a path cut off by the end", Drop(20, true, Units(u"C:\\whole\0C:\\cut")), {u"C:\\whole"}},
        {"at most 259 units", Drop(20, true, path + std::u16string(Units(u"\0C:\\n\0\0"))), {path.substr(0, 259), u"C:\\n"}},
        {"no paths", Drop(20, true, Units(u"\0")), {}},
        {"shorter than the header", ByteBlock(19, 0), {}},
        {"pFiles outside", Drop(33, true, Units(u"C:\\a\0\0")), {}},   // a block of 32 bytes
        {"pFiles into the header", Drop(4, true, Units(u"C:\\a\0\0")), {}},
    };
    for (const auto& row : rows) EXPECT_EQ(ReadDropFiles(row.block), row.expected) << row.name;

    EXPECT_EQ(WriteDropFiles({u"C:\\a", u"", u"B"}), Drop(20, true, Units(u"C:\\a\0B\0\0")));
    const ByteBlock text = Drop(20, true, Units(u"C:\\a\r\nD:\\b\r\n\0"));
    EXPECT_EQ(WriteFileListText({u"C:\\a", u"", u"D:\\b"}), ByteBlock(text.begin() + 20, text.end()));
}

// A computer named HOST (or without a name): the drive type is that of the path's root (C: fixed,
// A: removable, D: CD-ROM, R: RAM disk, Z: mapped from \\srv\share, "\\" the current drive, fixed).
static UncNameSource Host(bool named, bool mapped) {
    return {[named] { return named ? std::optional<std::u16string>(u"HOST") : std::nullopt; },
            [](const std::u16string& path) -> unsigned {
                if (DriveRootLength(path) == 0) return kDriveUnknown;
                const unsigned byRoot[] = {kDriveFixed, kDriveFixed, kDriveRemovable, kDriveCdrom, kDriveRamdisk, kDriveRemote,
                                           kDriveNoRootDir};
                return byRoot[std::min<std::size_t>(std::u16string_view(u"C\\ADRZ").find(path[0]), 6)];
            },
            [mapped](const std::u16string& path) {
                return mapped && path[0] == u'Z' ? std::optional(u"\\\\srv\\share\\" + path.substr(3)) : std::nullopt;
            }};
}

TEST(ConvertPathsToUNC, WhichPathsChangeAndHow) {
    const Paths stay = {u"C:\\", u"R:\\tmp\\x", u"\\\\srv\\pub\\y.doc", u"Q:\\unknown", u"C:"};
    const struct { const char* name; Paths paths; std::optional<Paths> expected; bool mapped = true, named = true; } rows[] = {
        {"fixed, removable, mapped", {u"C:\\a.txt", u"A:\\b.txt", u"Z:\\c.txt"},
         Paths{u"\\\\HOST\\C$\\a.txt", u"A:\\b.txt", u"\\\\srv\\share\\c.txt"}},
        {"a CD-ROM through its share", {u"D:\\setup.exe"}, Paths{u"\\\\HOST\\D$\\setup.exe"}},
        {"only the first colon becomes a dollar", {u"C:\\odd:name"}, Paths{u"\\\\HOST\\C$\\odd:name"}},
        {"empty paths are left out", {u"", u"C:\\a"}, Paths{u"\\\\HOST\\C$\\a"}},
        {"roots, RAM disks, network paths and unknown drives stay", stay, stay},
        {"a disconnected mapped drive spoils the list", {u"C:\\a.txt", u"Z:\\c.txt"}, std::nullopt, false},
        {"no computer name", {u"C:\\a.txt"}, std::nullopt, true, false},
        {"no paths", {}, std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(ConvertPathsToUNC(row.paths, Host(row.named, row.mapped)), row.expected) << row.name;
}

// An absolute ID list of items of the given sizes (each cb counts its own two bytes).
static ByteBlock IdList(std::initializer_list<std::uint8_t> itemSizes, std::uint8_t fill) {
    ByteBlock list;
    for (std::uint8_t cb : itemSizes) {
        list.insert(list.end(), {cb, 0});
        list.insert(list.end(), cb - 2u, fill);
    }
    list.insert(list.end(), {0, 0});
    return list;
}

TEST(IdListArray, LaysOutTheParsedItemsAfterTheDesktopAndReadsThemBack) {
    EXPECT_EQ(IdListSize(IdList({5, 4}, 0x11)), 11u);
    for (const ByteBlock& bad : {ByteBlock{5, 0, 1, 1, 1, 0}, ByteBlock{1, 0, 0, 0}, ByteBlock{9, 0, 1, 2}})
        EXPECT_FALSE(IdListSize(bad));  // past the memory, shorter than its cb field
    // Three files, the second did not parse.
    const ByteBlock first = IdList({6, 4}, 0xA1), third = IdList({8}, 0xC3);
    const auto block = WriteIdListArray(3, {first, third});
    ASSERT_TRUE(block);
    ByteBlock expected = {2, 0, 0, 0, 20, 0, 0, 0, 22, 0, 0, 0, 34, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // cidl, offsets, desktop
    for (const ByteBlock& item : {first, third}) expected.insert(expected.end(), item.begin(), item.end());
    EXPECT_EQ(*block, expected);
    const auto read = ReadIdListArray(*block);
    EXPECT_TRUE(read && read->parent == ByteBlock(2, 0) && read->items == (std::vector<ByteBlock>{first, third}));
    EXPECT_FALSE(WriteIdListArray(2, {}));                // nothing parsed
    EXPECT_FALSE(WriteIdListArray(1, {first, third}));    // more items than files
    ByteBlock badOffset = *block;
    badOffset[8] = 0xF0;
    EXPECT_FALSE(ReadIdListArray(badOffset));
}

TEST(FormatNames, TheListTextJoinsWithSlashesAndSplitsWithoutEmptyNames) {
    std::u16string list;
    for (const char16_t* name : {u"CF_UNICODETEXT", u"CF_LOCALE", kUnknownFormatName}) AppendFormatName(list, name);
    EXPECT_EQ(list, u"CF_UNICODETEXT/CF_LOCALE/(Unknown)");
    EXPECT_EQ(SplitFormatList(u"/A//B/"), (std::vector<std::u16string>{u"A", u"B"}));
}
