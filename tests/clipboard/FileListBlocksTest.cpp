// The portable rules of file lists: reading DROPFILES blocks from anywhere, the blocks this
// program writes (byte for byte), the network-path rewriting with the system's answers passed
// in, and the "Shell IDList Array" layout.
#include <gtest/gtest.h>

#include <map>

#include "clipboard/FileListBlocks.h"

namespace {

// A literal with its embedded NULs (all but the terminator the compiler adds).
template <std::size_t N>
std::u16string_view Units(const char16_t (&text)[N]) { return {text, N - 1}; }
template <std::size_t N>
std::string_view Bytes(const char (&text)[N]) { return {text, N - 1}; }

ByteBlock Header(std::uint32_t pFiles, std::uint32_t wide) {
    ByteBlock block(20, 0);
    block[0] = std::uint8_t(pFiles);
    block[1] = std::uint8_t(pFiles >> 8);
    block[12] = 1;
    block[16] = std::uint8_t(wide);
    return block;
}

void AppendWide(ByteBlock& block, std::u16string_view text) {
    for (char16_t c : text) {
        block.push_back(std::uint8_t(c));
        block.push_back(std::uint8_t(c >> 8));
    }
}

ByteBlock WideList(std::initializer_list<std::u16string_view> paths) {
    ByteBlock block = Header(20, 1);
    for (auto path : paths) {
        AppendWide(block, path);
        AppendWide(block, Units(u"\0"));
    }
    AppendWide(block, Units(u"\0"));
    return block;
}

std::uint32_t U32At(const ByteBlock& block, std::size_t offset) {
    return std::uint32_t(block[offset]) | std::uint32_t(block[offset + 1]) << 8 |
           std::uint32_t(block[offset + 2]) << 16 | std::uint32_t(block[offset + 3]) << 24;
}

using Paths = std::vector<std::u16string>;

// ---------------------------------------------------------------- reading DROPFILES

TEST(ReadDropFiles, ReadsWidePathsInListOrder) {
    EXPECT_EQ(ReadDropFiles(WideList({u"C:\\a.txt", u"D:\\dir\\b"})), (Paths{u"C:\\a.txt", u"D:\\dir\\b"}));
}

TEST(ReadDropFiles, ReadsAnsiPathsThroughTheDecoder) {
    ByteBlock block = Header(20, 0);
    for (char c : Bytes("C:\\x\0\xE9.txt\0\0")) block.push_back(std::uint8_t(c));
    EXPECT_EQ(ReadDropFiles(block), (Paths{u"C:\\x", u"\u00E9.txt"}));
    auto marked = [](std::string_view bytes) { return u"<" + DecodeLatin1(bytes) + u">"; };
    EXPECT_EQ(ReadDropFiles(block, marked), (Paths{u"<C:\\x>", u"<\u00E9.txt>"}));
}

TEST(ReadDropFiles, FollowsPFilesPastPadding) {
    ByteBlock block = Header(24, 1);
    block.insert(block.end(), {0xEE, 0xEE, 0xEE, 0xEE});
    AppendWide(block, Units(u"C:\\p\0\0"));
    EXPECT_EQ(ReadDropFiles(block), (Paths{u"C:\\p"}));
}

TEST(ReadDropFiles, BlocksThatHoldNoListGiveNoPaths) {
    EXPECT_TRUE(ReadDropFiles({}).empty());
    ByteBlock shortBlock = WideList({u"C:\\a"});
    shortBlock.resize(19);
    EXPECT_TRUE(ReadDropFiles(shortBlock).empty());

    ByteBlock outside = WideList({u"C:\\a"});
    outside[0] = std::uint8_t(outside.size() + 1);
    EXPECT_TRUE(ReadDropFiles(outside).empty());

    ByteBlock intoHeader = WideList({u"C:\\a"});
    intoHeader[0] = 4;
    EXPECT_TRUE(ReadDropFiles(intoHeader).empty());

    EXPECT_TRUE(ReadDropFiles(WideList({})).empty());
}

TEST(ReadDropFiles, APathCutOffByTheBlockEndIsNotAPath) {
    ByteBlock block = Header(20, 1);
    AppendWide(block, Units(u"C:\\whole\0C:\\cut"));
    EXPECT_EQ(ReadDropFiles(block), (Paths{u"C:\\whole"}));
    block.push_back(0);  // half a character more changes nothing
    EXPECT_EQ(ReadDropFiles(block), (Paths{u"C:\\whole"}));

    ByteBlock ansi = Header(20, 0);
    for (char c : Bytes("C:\\whole\0C:\\cut")) ansi.push_back(std::uint8_t(c));
    EXPECT_EQ(ReadDropFiles(ansi), (Paths{u"C:\\whole"}));
}

TEST(ReadDropFiles, UsesAtMost259CharactersOfAPath) {
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'x');
    const auto paths = ReadDropFiles(WideList({longPath, u"C:\\next"}));
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], longPath.substr(0, 259));
    EXPECT_EQ(paths[1], u"C:\\next");
}

// ---------------------------------------------------------------- writing

TEST(WriteDropFiles, WritesTheHeaderAndNulTerminatedWidePaths) {
    const ByteBlock expected = {
        20, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  1, 0, 0, 0,  1, 0, 0, 0,
        'C', 0, ':', 0, '\\', 0, 'a', 0, 0, 0,
        'B', 0, 0, 0,
        0, 0,
    };
    EXPECT_EQ(WriteDropFiles({u"C:\\a", u"", u"B"}), expected);
}

TEST(WriteDropFiles, WhatItWritesReadsBackUnchanged) {
    const Paths paths = {u"\\\\HOST\\C$\\docs\\a.txt", u"A:\\b.txt", u"\\\\srv\\share\\\u00FC.txt"};
    EXPECT_EQ(ReadDropFiles(WriteDropFiles(paths)), paths);
}

TEST(WriteFileListText, EveryPathEndsWithCrLfAndEmptyPathsAreLeftOut) {
    EXPECT_EQ(WriteFileListText({u"C:\\x"}), (ByteBlock{'C', 0, ':', 0, '\\', 0, 'x', 0, '\r', 0, '\n', 0, 0, 0}));
    ByteBlock expected;
    AppendWide(expected, Units(u"C:\\a\r\nD:\\b\r\n\0"));
    EXPECT_EQ(WriteFileListText({u"C:\\a", u"", u"D:\\b"}), expected);
}

// ---------------------------------------------------------------- network paths

TEST(DriveRootLength, IsUpToTheFirstBackslashUnlessThatEndsThePath) {
    EXPECT_EQ(DriveRootLength(u"C:\\dir\\f.txt"), 3u);
    EXPECT_EQ(DriveRootLength(u"\\\\srv\\pub\\x"), 1u);
    EXPECT_EQ(DriveRootLength(u"C:\\"), 0u);
    EXPECT_EQ(DriveRootLength(u"C:"), 0u);
    EXPECT_EQ(DriveRootLength(u"file.txt"), 0u);
    EXPECT_EQ(DriveRootLength(u""), 0u);
}

// A computer named HOST whose drives answer like the system's: the type of a path is that of
// its root (none: 0); Z: is mapped from \\srv\share.
struct FakeComputer {
    std::map<std::u16string, unsigned> roots = {
        {u"C:\\", kDriveFixed}, {u"A:\\", kDriveRemovable}, {u"D:\\", kDriveCdrom},
        {u"R:\\", kDriveRamdisk}, {u"Z:\\", kDriveRemote}, {u"\\", kDriveFixed},
    };
    std::map<std::u16string, std::u16string> mapped = {{u"Z:\\", u"\\\\srv\\share\\"}};
    std::optional<std::u16string> name = u"HOST";
    int nameCalls = 0;
    std::vector<std::u16string> universalAsked;

    UncNameSource Source() {
        return {
            [this]() { ++nameCalls; return name; },
            [this](const std::u16string& path) -> unsigned {
                const std::size_t root = DriveRootLength(path);
                if (root == 0) return kDriveUnknown;
                const auto found = roots.find(path.substr(0, root));
                return found == roots.end() ? kDriveNoRootDir : found->second;
            },
            [this](const std::u16string& path) -> std::optional<std::u16string> {
                universalAsked.push_back(path);
                const auto found = mapped.find(path.substr(0, 3));
                if (found == mapped.end()) return std::nullopt;
                return found->second + path.substr(3);
            },
        };
    }
};

TEST(ConvertPathsToUNC, FixedRemovableAndMappedDrives) {
    FakeComputer computer;
    const auto converted = ConvertPathsToUNC({u"C:\\a.txt", u"A:\\b.txt", u"Z:\\c.txt"}, computer.Source());
    ASSERT_TRUE(converted);
    EXPECT_EQ(*converted, (Paths{u"\\\\HOST\\C$\\a.txt", u"A:\\b.txt", u"\\\\srv\\share\\c.txt"}));
    EXPECT_EQ(computer.universalAsked, (Paths{u"Z:\\c.txt"}));
}

TEST(ConvertPathsToUNC, WhichPathsChangeAndHow) {
    const struct { const char* name; Paths paths, expected; } rows[] = {
        {"a CD-ROM goes through its administrative share", {u"D:\\setup.exe"}, {u"\\\\HOST\\D$\\setup.exe"}},
        {"only the first colon becomes a dollar", {u"C:\\odd:name"}, {u"\\\\HOST\\C$\\odd:name"}},
        {"empty paths are left out", {u"", u"C:\\a"}, {u"\\\\HOST\\C$\\a"}},
        {"roots, RAM disks, network paths and unknown drives stay",
         {u"C:\\", u"R:\\tmp\\x", u"\\\\srv\\pub\\y.doc", u"Q:\\unknown"},
         {u"C:\\", u"R:\\tmp\\x", u"\\\\srv\\pub\\y.doc", u"Q:\\unknown"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeComputer computer;
        EXPECT_EQ(ConvertPathsToUNC(row.paths, computer.Source()), row.expected);
        EXPECT_TRUE(computer.universalAsked.empty());  // only mapped drives are asked about
    }
}

TEST(ConvertPathsToUNC, ADisconnectedMappedDriveSpoilsTheWholeList) {
    FakeComputer computer;
    computer.mapped.clear();
    EXPECT_FALSE(ConvertPathsToUNC({u"C:\\a.txt", u"Z:\\c.txt"}, computer.Source()));
}

TEST(ConvertPathsToUNC, NoComputerNameOrNoPathsMeansNoConversion) {
    FakeComputer nameless;
    nameless.name.reset();
    EXPECT_FALSE(ConvertPathsToUNC({u"C:\\a.txt"}, nameless.Source()));

    FakeComputer computer;
    EXPECT_FALSE(ConvertPathsToUNC({}, computer.Source()));
    EXPECT_EQ(computer.nameCalls, 0);  // an empty list is given back before anything is asked
}

// ---------------------------------------------------------------- shell item ID lists

// An absolute ID list of items of the given sizes (each item's cb counts its own two bytes).
ByteBlock IdList(std::initializer_list<std::uint16_t> itemSizes, std::uint8_t fill) {
    ByteBlock list;
    for (std::uint16_t cb : itemSizes) {
        list.push_back(std::uint8_t(cb));
        list.push_back(std::uint8_t(cb >> 8));
        list.insert(list.end(), cb - 2u, fill);
    }
    list.insert(list.end(), {0, 0});
    return list;
}

TEST(IdListSize, IsTheItemsCbFieldsPlusTheTerminator) {
    EXPECT_EQ(IdListSize(IdList({5, 4}, 0x11)), 11u);
    EXPECT_EQ(IdListSize(ByteBlock{0, 0, 0xAA}), 2u);
    ByteBlock cut = IdList({5, 4}, 0x11);
    cut.pop_back();
    EXPECT_FALSE(IdListSize(cut));
    EXPECT_FALSE(IdListSize(ByteBlock{1, 0, 0, 0}));   // an item shorter than its cb field
    EXPECT_FALSE(IdListSize(ByteBlock{9, 0, 1, 2}));   // an item past the memory
}

TEST(WriteIdListArray, SecondOfThreePathsMissing) {
    const ByteBlock first = IdList({6, 4}, 0xA1);  // 12 bytes
    const ByteBlock third = IdList({8}, 0xC3);     // 10 bytes
    const auto block = WriteIdListArray(3, {first, third});
    ASSERT_TRUE(block);
    ASSERT_EQ(block->size(), 4u * 3 + 10 + 12 + 10);
    EXPECT_EQ(U32At(*block, 0), 2u);        // cidl
    EXPECT_EQ(U32At(*block, 4), 20u);       // aoffset[0]: 4n + 8
    EXPECT_EQ(U32At(*block, 8), 22u);       // aoffset[1]: the first item after the parent
    EXPECT_EQ(U32At(*block, 12), 34u);      // aoffset[2]
    EXPECT_EQ(U32At(*block, 16), 0u);       // aoffset[3] stays 0
    EXPECT_EQ((*block)[20], 0);             // the desktop's empty ID list
    EXPECT_EQ((*block)[21], 0);
    EXPECT_EQ(ByteBlock(block->begin() + 22, block->begin() + 34), first);
    EXPECT_EQ(ByteBlock(block->begin() + 34, block->end()), third);

    const auto read = ReadIdListArray(*block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->parent, (ByteBlock{0, 0}));
    EXPECT_EQ(read->items, (std::vector<ByteBlock>{first, third}));
}

TEST(WriteIdListArray, NothingParsedOrMoreItemsThanFilesGivesNothing) {
    EXPECT_FALSE(WriteIdListArray(2, {}));
    EXPECT_FALSE(WriteIdListArray(1, {IdList({4}, 1), IdList({4}, 2)}));
}

TEST(ReadIdListArray, RefusesOffsetsOutsideTheBlock) {
    auto block = *WriteIdListArray(1, {IdList({4}, 7)});
    EXPECT_TRUE(ReadIdListArray(block));
    auto badItem = block;
    badItem[8] = 0xF0;
    EXPECT_FALSE(ReadIdListArray(badItem));
    auto badCount = block;
    badCount[0] = 0xFF;
    EXPECT_FALSE(ReadIdListArray(badCount));
    EXPECT_FALSE(ReadIdListArray(ByteBlock{1, 0, 0}));
}

}  // namespace
