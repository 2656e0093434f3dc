// Clipboard format names as they cross the network: the table of the system's predefined
// formats, the case-insensitive look-up that maps a name back to its id, and the format list
// text (names joined by "/"). Portable; the system's registered names are the Windows side's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct StandardFormatName {
    std::uint32_t id;
    const char16_t* name;
};

// The 22 predefined formats in the order of their ids, ended by {0, nullptr}.
extern const StandardFormatName StandardFormatNames[23];

// What stands in the list for a format whose name cannot be had.
inline constexpr char16_t kUnknownFormatName[] = u"(Unknown)";

// The predefined name of an id, or null when the id is not in the table.
const char16_t* StandardNameOfFormat(std::uint32_t id);

// The id of a predefined name, compared without regard to letter case ("cf_text" gives 1);
// 0 when the name is not in the table.
std::uint32_t StandardFormatOfName(std::u16string_view name);

// Adds one name to a format list text: a "/" first unless the list is empty.
void AppendFormatName(std::u16string& list, std::u16string_view name);

// The names of a format list text, in order; empty items (doubled, leading or trailing "/")
// are skipped.
std::vector<std::u16string> SplitFormatList(std::u16string_view list);
