// Format names as they cross the network: the predefined names in any letter case, and the
// format list text whose names are joined by "/".
#include <gtest/gtest.h>

#include "clipboard/FormatNames.h"

TEST(FormatNames, PredefinedNamesInAnyLetterCaseAndListsWithoutEmptyNames) {
    for (const auto& [name, id] : {std::pair{u"cf_text", 1u}, {u"Cf_HDrop", 15u}, {u"cf_dspenhmetafile", 142u},
                                   {u"HTML Format", 0u}, {u"CF_TEXTX", 0u}, {u"CF_TEX", 0u}, {u"", 0u}}) {
        EXPECT_EQ(StandardFormatOfName(name), id) << id;
        if (id) EXPECT_EQ(StandardFormatOfName(StandardNameOfFormat(id)), id);
    }
    for (std::uint32_t id : {0u, 18u, 0xC000u}) EXPECT_EQ(StandardNameOfFormat(id), nullptr) << id;

    std::u16string list;
    for (const char16_t* name : {u"CF_UNICODETEXT", u"CF_LOCALE", kUnknownFormatName}) AppendFormatName(list, name);
    EXPECT_EQ(list, u"CF_UNICODETEXT/CF_LOCALE/(Unknown)");
    EXPECT_EQ(SplitFormatList(u"/A//B/"), (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_TRUE(SplitFormatList(u"").empty());
}
