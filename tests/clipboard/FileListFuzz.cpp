// libFuzzer target for the readers of file-list blocks, which come from any application: never out
// of bounds, every path fits the system's path buffer, and what was read writes back and reads the
// same.
#include <algorithm>
#include <cstdlib>

#include "clipboard/FileListBlocks.h"

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : std::abort())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    const auto paths = ReadDropFiles(block);
    for (const auto& path : paths) FUZZ_CHECK(!path.empty() && path.size() < kDropPathChars);
    if (!paths.empty() && data[16] | data[17] | data[18] | data[19]) FUZZ_CHECK(ReadDropFiles(WriteDropFiles(paths)) == paths);

    if (const auto listSize = IdListSize(block)) FUZZ_CHECK(*listSize >= 2 && *listSize <= size);
    if (const auto array = ReadIdListArray(block); array && !array->items.empty()) {
        const auto written = WriteIdListArray(array->items.size(), array->items);
        FUZZ_CHECK(written.has_value());
        const auto again = ReadIdListArray(*written);
        FUZZ_CHECK(again && again->items == array->items && again->parent == ByteBlock(2, 0));
    }
    return 0;
}
