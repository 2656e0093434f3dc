// Format names as they cross the network: the predefined names in any letter case, and the
// format list text whose names are joined by "/".
#include <gtest/gtest.h>

#include "clipboard/FormatNames.h"

namespace {

TEST(FormatNames, PredefinedNamesMatchInAnyLetterCase) {
    const struct { const char16_t* name; std::uint32_t id; } rows[] = {
        {u"cf_text", 1}, {u"CF_UNICODETEXT", 13}, {u"Cf_HDrop", 15}, {u"cf_dspenhmetafile", 142},
        {u"HTML Format", 0}, {u"CF_TEXTX", 0}, {u"CF_TEX", 0}, {u"", 0}, {u"(Unknown)", 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(StandardFormatOfName(row.name), row.id) << std::string(row.name, row.name + std::char_traits<char16_t>::length(row.name));
        if (row.id) EXPECT_EQ(StandardFormatOfName(StandardNameOfFormat(row.id)), row.id);
    }
    for (std::uint32_t id : {0u, 18u, 0xC000u}) EXPECT_EQ(StandardNameOfFormat(id), nullptr) << id;
}

TEST(FormatNames, ListTextJoinsWithSlashesAndSplitsWithoutEmptyNames) {
    std::u16string list;
    for (const char16_t* name : {u"CF_UNICODETEXT", u"CF_LOCALE", kUnknownFormatName}) AppendFormatName(list, name);
    EXPECT_EQ(list, u"CF_UNICODETEXT/CF_LOCALE/(Unknown)");
    using Names = std::vector<std::u16string>;
    EXPECT_EQ(SplitFormatList(list), (Names{u"CF_UNICODETEXT", u"CF_LOCALE", u"(Unknown)"}));
    EXPECT_EQ(SplitFormatList(u"/A//B/"), (Names{u"A", u"B"}));
    EXPECT_TRUE(SplitFormatList(u"").empty());
}

}  // namespace
