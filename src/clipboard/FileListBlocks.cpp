#include "clipboard/FileListBlocks.h"

#include <algorithm>

namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

void AppendU32(ByteBlock& block, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) block.push_back(std::uint8_t(value >> shift));
}

void PutU32(ByteBlock& block, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[offset + i] = std::uint8_t(value >> (8 * i));
}

void AppendUtf16(ByteBlock& block, std::u16string_view text) {
    for (char16_t c : text) {
        block.push_back(std::uint8_t(c));
        block.push_back(std::uint8_t(c >> 8));
    }
}

void AppendNul(ByteBlock& block) {
    block.push_back(0);
    block.push_back(0);
}

std::u16string CutToPathBuffer(std::u16string path) {
    if (path.size() > kDropPathChars - 1) path.resize(kDropPathChars - 1);
    return path;
}

}  // namespace

std::u16string DecodeLatin1(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (char c : bytes) text.push_back(char16_t(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::u16string> ReadDropFiles(std::span<const std::uint8_t> block,
                                          const AnsiPathDecoder& decodeAnsi) {
    std::vector<std::u16string> paths;
    if (block.size() < kDropFilesHeaderSize) return paths;
    const std::uint32_t listOffset = ReadU32(block, 0);
    const bool wide = ReadU32(block, 16) != 0;
    if (listOffset < kDropFilesHeaderSize || listOffset > block.size()) return paths;

    std::size_t at = listOffset;
    if (wide) {
        const std::size_t end = block.size() - (block.size() - at) % 2;  // whole characters only
        while (at < end) {
            std::u16string path;
            bool terminated = false;
            for (; at < end; at += 2) {
                const char16_t c = char16_t(block[at] | block[at + 1] << 8);
                if (c == 0) { at += 2; terminated = true; break; }
                path.push_back(c);
            }
            if (!terminated || path.empty()) break;
            paths.push_back(CutToPathBuffer(std::move(path)));
        }
    } else {
        while (at < block.size()) {
            const auto* begin = block.data() + at;
            const auto* nul = std::find(begin, block.data() + block.size(), std::uint8_t(0));
            if (nul == block.data() + block.size() || nul == begin) break;
            const std::string_view bytes(reinterpret_cast<const char*>(begin), std::size_t(nul - begin));
            paths.push_back(CutToPathBuffer(decodeAnsi ? decodeAnsi(bytes) : DecodeLatin1(bytes)));
            at += bytes.size() + 1;
        }
    }
    return paths;
}

ByteBlock WriteDropFiles(const std::vector<std::u16string>& paths) {
    ByteBlock block;
    AppendU32(block, kDropFilesHeaderSize);  // pFiles: the list follows the header
    AppendU32(block, 0);                     // pt.x
    AppendU32(block, 0);                     // pt.y
    AppendU32(block, 1);                     // fNC
    AppendU32(block, 1);                     // fWide: UTF-16 paths
    for (const auto& path : paths) {
        if (path.empty()) continue;
        AppendUtf16(block, path);
        AppendNul(block);
    }
    AppendNul(block);
    return block;
}

ByteBlock WriteFileListText(const std::vector<std::u16string>& paths) {
    ByteBlock block;
    for (const auto& path : paths) {
        if (path.empty()) continue;
        AppendUtf16(block, path);
        AppendUtf16(block, u"\r\n");
    }
    AppendNul(block);
    return block;
}

std::size_t DriveRootLength(std::u16string_view path) {
    const std::size_t slash = path.find(u'\\');
    if (slash == std::u16string_view::npos || slash + 1 == path.size()) return 0;
    return slash + 1;
}

std::optional<std::u16string> ConvertPathToUNC(const std::u16string& path, unsigned driveType,
                                               std::u16string_view computer,
                                               const UncNameSource& system) {
    const std::size_t colon = path.find(u':');
    if (colon != std::u16string::npos && (driveType == kDriveFixed || driveType == kDriveCdrom)) {
        std::u16string unc = u"\\\\";
        unc += computer;
        unc += u'\\';
        unc += path;
        unc[2 + computer.size() + 1 + colon] = u'$';
        return unc;
    }
    if (driveType == kDriveRemote) return system.universalName(path);
    return path;  // removable drives, RAM disks, no root, paths that already are network paths
}

std::optional<std::vector<std::u16string>> ConvertPathsToUNC(const std::vector<std::u16string>& paths,
                                                             const UncNameSource& system) {
    if (paths.empty()) return std::nullopt;
    const std::optional<std::u16string> computer = system.computerName();
    if (!computer) return std::nullopt;
    std::vector<std::u16string> converted;
    converted.reserve(paths.size());
    for (const auto& path : paths) {
        if (path.empty()) continue;
        auto unc = ConvertPathToUNC(path, system.pathDriveType(path), *computer, system);
        if (!unc) return std::nullopt;
        converted.push_back(std::move(*unc));
    }
    return converted;
}

std::optional<std::size_t> IdListSize(std::span<const std::uint8_t> memory) {
    std::size_t at = 0;
    for (;;) {
        if (memory.size() - at < 2) return std::nullopt;
        const std::size_t cb = std::size_t(memory[at]) | std::size_t(memory[at + 1]) << 8;
        if (cb == 0) return at + 2;
        if (cb < 2 || cb > memory.size() - at) return std::nullopt;
        at += cb;
    }
}

std::optional<ByteBlock> WriteIdListArray(std::size_t fileCount, const std::vector<ByteBlock>& parsedItems) {
    if (parsedItems.empty() || parsedItems.size() > fileCount) return std::nullopt;
    const std::size_t parentOffset = 4 * fileCount + 8;
    std::size_t size = parentOffset + 2;
    for (const auto& item : parsedItems) size += item.size();
    if (size > 0xFFFFFFFFu) return std::nullopt;

    ByteBlock block(size, 0);
    PutU32(block, 0, std::uint32_t(parsedItems.size()));
    PutU32(block, 4, std::uint32_t(parentOffset));
    // The parent: the desktop's empty ID list, the two zero bytes already there.
    std::size_t at = parentOffset + 2;
    for (std::size_t i = 0; i < parsedItems.size(); ++i) {
        PutU32(block, 8 + 4 * i, std::uint32_t(at));
        std::copy(parsedItems[i].begin(), parsedItems[i].end(), block.begin() + std::ptrdiff_t(at));
        at += parsedItems[i].size();
    }
    return block;
}

std::optional<IdListArray> ReadIdListArray(std::span<const std::uint8_t> block) {
    if (block.size() < 8) return std::nullopt;
    const std::uint32_t count = ReadU32(block, 0);
    if (count > (block.size() - 8) / 4) return std::nullopt;  // the offsets must fit
    auto listAt = [&](std::uint32_t offset) -> std::optional<ByteBlock> {
        if (offset >= block.size()) return std::nullopt;
        const auto rest = block.subspan(offset);
        const auto size = IdListSize(rest);
        if (!size) return std::nullopt;
        return ByteBlock(rest.begin(), rest.begin() + std::ptrdiff_t(*size));
    };
    IdListArray array;
    auto parent = listAt(ReadU32(block, 4));
    if (!parent) return std::nullopt;
    array.parent = std::move(*parent);
    for (std::uint32_t i = 1; i <= count; ++i) {
        auto item = listAt(ReadU32(block, 4 + 4 * std::size_t(i)));
        if (!item) return std::nullopt;
        array.items.push_back(std::move(*item));
    }
    return array;
}
