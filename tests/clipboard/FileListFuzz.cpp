// The readers of clipboard blocks take bytes from any application: they must stay inside the
// block, give paths the writers can carry, and read back what they wrote.
#include <cstdlib>
#include <cstring>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FormatNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    const auto paths = ReadDropFiles(block);
    for (const auto& path : paths)
        if (path.empty() || path.size() >= kDropPathChars || path.find(u'\0') != std::u16string::npos) std::abort();
    if (ReadDropFiles(WriteDropFiles(paths)) != paths) std::abort();

    if (const auto array = ReadIdListArray(block); array && !array->items.empty()) {
        const auto again = ReadIdListArray(*WriteIdListArray(array->items.size(), array->items));
        if (!again || again->items != array->items) std::abort();
    }
    (void)IdListSize(block);

    std::u16string list(size / 2, u'\0');
    if (!list.empty()) std::memcpy(list.data(), data, list.size() * 2);
    std::u16string joined;
    for (const auto& name : SplitFormatList(list)) AppendFormatName(joined, name);
    if (SplitFormatList(joined) != SplitFormatList(list)) std::abort();
    return 0;
}
