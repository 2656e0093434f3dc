// The predefined format names, the case-insensitive look-up and the format list text.
#include <gtest/gtest.h>

#include "clipboard/FormatNames.h"

namespace {

TEST(StandardFormatNames, HoldsTheTwentyTwoPredefinedFormatsInOrder) {
    const std::vector<std::pair<std::uint32_t, std::u16string>> expected = {
        {1, u"CF_TEXT"},           {2, u"CF_BITMAP"},          {3, u"CF_METAFILEPICT"},
        {4, u"CF_SYLK"},           {5, u"CF_DIF"},             {6, u"CF_TIFF"},
        {7, u"CF_OEMTEXT"},        {8, u"CF_DIB"},             {9, u"CF_PALETTE"},
        {10, u"CF_PENDATA"},       {11, u"CF_RIFF"},           {12, u"CF_WAVE"},
        {13, u"CF_UNICODETEXT"},   {14, u"CF_ENHMETAFILE"},    {15, u"CF_HDROP"},
        {16, u"CF_LOCALE"},        {17, u"CF_DIBV5"},          {128, u"CF_OWNERDISPLAY"},
        {129, u"CF_DSPTEXT"},      {130, u"CF_DSPBITMAP"},     {131, u"CF_DSPMETAFILEPICT"},
        {142, u"CF_DSPENHMETAFILE"},
    };
    std::vector<std::pair<std::uint32_t, std::u16string>> table;
    const StandardFormatName* row = StandardFormatNames;
    for (; row->id != 0; ++row) table.emplace_back(row->id, row->name);
    EXPECT_EQ(table, expected);
    EXPECT_EQ(row, StandardFormatNames + 22);
    EXPECT_EQ(row->name, nullptr);
}

TEST(StandardFormatOfName, IgnoresLetterCase) {
    EXPECT_EQ(StandardFormatOfName(u"cf_text"), 1u);
    EXPECT_EQ(StandardFormatOfName(u"CF_TEXT"), 1u);
    EXPECT_EQ(StandardFormatOfName(u"Cf_HDrop"), 15u);
    EXPECT_EQ(StandardFormatOfName(u"cf_dspenhmetafile"), 142u);
}

TEST(StandardFormatOfName, OtherNamesAreNotInTheTable) {
    EXPECT_EQ(StandardFormatOfName(u"HTML Format"), 0u);
    EXPECT_EQ(StandardFormatOfName(u"CF_TEXTX"), 0u);
    EXPECT_EQ(StandardFormatOfName(u"CF_TEX"), 0u);
    EXPECT_EQ(StandardFormatOfName(u""), 0u);
    EXPECT_EQ(StandardFormatOfName(u"(Unknown)"), 0u);
}

TEST(StandardNameOfFormat, GivesTheTableNameOrNothing) {
    EXPECT_EQ(std::u16string(StandardNameOfFormat(15)), u"CF_HDROP");
    EXPECT_EQ(std::u16string(StandardNameOfFormat(142)), u"CF_DSPENHMETAFILE");
    EXPECT_EQ(StandardNameOfFormat(0), nullptr);
    EXPECT_EQ(StandardNameOfFormat(18), nullptr);
    EXPECT_EQ(StandardNameOfFormat(0xC000), nullptr);
}

TEST(FormatListText, JoinsWithOneSlashAndNoneAtTheEnds) {
    std::u16string list;
    AppendFormatName(list, u"CF_UNICODETEXT");
    EXPECT_EQ(list, u"CF_UNICODETEXT");
    AppendFormatName(list, u"CF_LOCALE");
    AppendFormatName(list, kUnknownFormatName);
    EXPECT_EQ(list, u"CF_UNICODETEXT/CF_LOCALE/(Unknown)");
}

TEST(FormatListText, SplitSkipsEmptyItems) {
    EXPECT_EQ(SplitFormatList(u"A//B"), (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(SplitFormatList(u"/A/"), (std::vector<std::u16string>{u"A"}));
    EXPECT_TRUE(SplitFormatList(u"").empty());
    // A registered name holding "/" comes apart: the receiver sees two names.
    EXPECT_EQ(SplitFormatList(u"CF_TEXT/Odd/Name"), (std::vector<std::u16string>{u"CF_TEXT", u"Odd", u"Name"}));
}

}  // namespace
