#include "clipboard/FormatNames.h"

const StandardFormatName StandardFormatNames[23] = {
    {1, u"CF_TEXT"},
    {2, u"CF_BITMAP"},
    {3, u"CF_METAFILEPICT"},
    {4, u"CF_SYLK"},
    {5, u"CF_DIF"},
    {6, u"CF_TIFF"},
    {7, u"CF_OEMTEXT"},
    {8, u"CF_DIB"},
    {9, u"CF_PALETTE"},
    {10, u"CF_PENDATA"},
    {11, u"CF_RIFF"},
    {12, u"CF_WAVE"},
    {13, u"CF_UNICODETEXT"},
    {14, u"CF_ENHMETAFILE"},
    {15, u"CF_HDROP"},
    {16, u"CF_LOCALE"},
    {17, u"CF_DIBV5"},
    {128, u"CF_OWNERDISPLAY"},
    {129, u"CF_DSPTEXT"},
    {130, u"CF_DSPBITMAP"},
    {131, u"CF_DSPMETAFILEPICT"},
    {142, u"CF_DSPENHMETAFILE"},
    {0, nullptr},
};

namespace {

// The table's names are ASCII, so folding ASCII letters is all a case-insensitive match needs.
char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

const char16_t* StandardNameOfFormat(std::uint32_t id) {
    for (const StandardFormatName* row = StandardFormatNames; row->id != 0; ++row) {
        if (row->id == id) return row->name;
    }
    return nullptr;
}

std::uint32_t StandardFormatOfName(std::u16string_view name) {
    for (const StandardFormatName* row = StandardFormatNames; row->id != 0; ++row) {
        if (EqualIgnoringCase(row->name, name)) return row->id;
    }
    return 0;
}

void AppendFormatName(std::u16string& list, std::u16string_view name) {
    if (!list.empty()) list += u'/';
    list += name;
}

std::vector<std::u16string> SplitFormatList(std::u16string_view list) {
    std::vector<std::u16string> names;
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t slash = list.find(u'/', at);
        if (slash == std::u16string_view::npos) slash = list.size();
        if (slash > at) names.emplace_back(list.substr(at, slash - at));
        at = slash + 1;
    }
    return names;
}
