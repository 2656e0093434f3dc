// The byte layouts of file lists on the clipboard and of the blocks made from them: reading a
// DROPFILES list, writing one with network paths, its CR LF text form and the shell's
// "Shell IDList Array" (CIDA). Portable: the system calls the rules need (computer name, drive
// types, universal names, shell parsing) are passed in, so the rules run and are tested anywhere.
// Clipboard data comes from any application: every reader stays inside the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using ByteBlock = std::vector<std::uint8_t>;

// The system reads each path into 260 characters, so at most 259 of them are used.
inline constexpr std::size_t kDropPathChars = 260;
inline constexpr std::uint32_t kDropFilesHeaderSize = 20;

// The drive types the conversion cares about (the values of GetDriveTypeW).
enum : unsigned {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdrom = 5,
    kDriveRamdisk = 6,
};

// Turns the 8-bit paths of an ANSI file list into UTF-16 (on Windows: the ANSI code page).
using AnsiPathDecoder = std::function<std::u16string(std::string_view)>;
// Byte for byte (ISO 8859-1); what the portable core uses where no code page exists.
std::u16string DecodeLatin1(std::string_view bytes);

// The paths of a DROPFILES block in list order, each cut to 259 characters. The list ends at its
// empty path (the closing NUL) or where the block ends; a path that the block cuts off before
// its NUL is not a path. A block shorter than the header or whose pFiles points outside it
// (or into the header) holds no paths.
std::vector<std::u16string> ReadDropFiles(std::span<const std::uint8_t> block,
                                          const AnsiPathDecoder& decodeAnsi = DecodeLatin1);

// A DROPFILES block of UTF-16 paths: the header (pFiles 20, pt 0 0, fNC 1, fWide 1), each path
// of non-zero length with its 16-bit NUL, then the closing NUL.
ByteBlock WriteDropFiles(const std::vector<std::u16string>& paths);

// The text form of a file list, UTF-16: each path of non-zero length followed by CR LF, then a NUL.
ByteBlock WriteFileListText(const std::vector<std::u16string>& paths);

// The length of the root whose drive type stands for a path's: up to and including its first
// backslash ("C:\dir\f.txt" gives 3, "\\srv\pub" gives 1). 0 when the path has no backslash or
// its first backslash is its last character: such a path has no usable root (drive type 0).
std::size_t DriveRootLength(std::u16string_view path);

// What the network-path conversion asks of the system.
struct UncNameSource {
    std::function<std::optional<std::u16string>()> computerName;
    std::function<unsigned(const std::u16string& path)> pathDriveType;
    // The universal name of a path on a mapped network drive (\\srv\pub\x.doc for Z:\x.doc).
    std::function<std::optional<std::u16string>(const std::u16string& path)> universalName;
};

// The network form of one path on a computer named `computer`: fixed and CD-ROM drives through
// their administrative shares (C:\docs\a.txt -> \\HOST\C$\docs\a.txt), network drives through
// their universal names, everything else unchanged. Nothing when a universal name cannot be had.
std::optional<std::u16string> ConvertPathToUNC(const std::u16string& path, unsigned driveType,
                                               std::u16string_view computer,
                                               const UncNameSource& system);

// The network paths of a whole list, in list order, paths of length 0 left out. Nothing (the
// list must then travel as it is) when the list is empty, the computer has no name, or one
// network path has no universal name.
std::optional<std::vector<std::u16string>> ConvertPathsToUNC(const std::vector<std::u16string>& paths,
                                                             const UncNameSource& system);

// The size of a shell item ID list that starts at the front of `memory`: the cb fields of its
// items plus the 2-byte terminator. Nothing when the list runs past the memory or an item is
// shorter than its own cb field.
std::optional<std::size_t> IdListSize(std::span<const std::uint8_t> memory);

// The "Shell IDList Array" of a list of `fileCount` files whose paths that parsed gave
// `parsedItems` (absolute ID lists with their terminators, in list order):
//   cidl = k; aoffset[0] = 4n + 8 (the desktop's empty ID list); aoffset[1..k] the items;
//   aoffset[k+1..n] = 0; two zero bytes; the k ID lists one after another.
// Nothing when no item parsed or there are more items than files.
std::optional<ByteBlock> WriteIdListArray(std::size_t fileCount, const std::vector<ByteBlock>& parsedItems);

// A "Shell IDList Array" read back: the parent ID list and the items aoffset[1..cidl] point at.
// Nothing when an offset or an ID list lies outside the block.
struct IdListArray {
    ByteBlock parent;
    std::vector<ByteBlock> items;
};
std::optional<IdListArray> ReadIdListArray(std::span<const std::uint8_t> block);
