// Fuzzes the readers of clipboard blocks, whose bytes come from any application: they must
// stay inside the block, give paths that the writers can carry, and read back what they wrote.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FormatNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);

    const auto paths = ReadDropFiles(block);
    for (const auto& path : paths) {
        if (path.empty() || path.size() > kDropPathChars - 1 || path.find(u'\0') != std::u16string::npos) std::abort();
    }
    if (ReadDropFiles(WriteDropFiles(paths)) != paths) std::abort();
    const ByteBlock text = WriteFileListText(paths);
    if (text.size() < 2 || text[text.size() - 1] != 0 || text[text.size() - 2] != 0) std::abort();

    if (const auto array = ReadIdListArray(block); array && !array->items.empty()) {
        const auto rewritten = WriteIdListArray(array->items.size(), array->items);
        if (!rewritten) std::abort();
        const auto again = ReadIdListArray(*rewritten);
        if (!again || again->items != array->items) std::abort();
    }
    (void)IdListSize(block);

    // The same bytes as a format list text.
    std::u16string list(size / 2, u'\0');
    if (!list.empty()) std::memcpy(list.data(), data, list.size() * 2);
    std::u16string joined;
    for (const auto& name : SplitFormatList(list)) {
        if (name.empty()) std::abort();
        AppendFormatName(joined, name);
    }
    if (SplitFormatList(joined) != SplitFormatList(list)) std::abort();
    (void)StandardFormatOfName(list);
    return 0;
}
