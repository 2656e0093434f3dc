// File lists (CF_HDROP) on the Windows clipboard: network paths for a list that leaves this
// host, its text form, and the shell's "Shell IDList Array" beside a rendered remote list.
// The block layouts and the rewriting rule are the portable core's (FileListBlocks.h); this
// file supplies the system's answers (computer name, drive types, universal names, shell
// parsing) and the global memory blocks. Any thread may call these: they keep no state, and
// CreateIDListArray needs COM initialised on the calling thread (the shell's parser).
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "clipboard/FileListBlocks.h"

// A new file list with network paths, after which `drop` has been freed; or `drop` itself,
// unchanged and still the caller's, whenever the conversion cannot be done.
HGLOBAL ConvertDropToUNC(HGLOBAL drop);

// The text form of a file list (each path, CR LF; then a NUL), or NULL. The list is only read.
HGLOBAL CreateTextFromHDROP(HGLOBAL drop);

// The "Shell IDList Array" for a file list, or NULL when no path parses. The list is only read.
HGLOBAL CreateIDListArray(HGLOBAL drop);

// The GetDriveTypeW value of a path's root, 0 when it has none. The path is cut after its
// first backslash for the call and restored before the return.
UINT GetPathDriveType(LPWSTR path);

// The paths of a file-list block, as the system's DragQueryFileW with a 260-character buffer
// gives them (an ANSI list through the ANSI code page). Empty for a block that holds none.
std::vector<std::u16string> ReadDropFileList(HGLOBAL drop);

// A movable, zero-initialised global block holding `bytes`, unlocked; NULL on failure.
HGLOBAL CopyToGlobal(std::span<const std::uint8_t> bytes);

// This computer's answers for the network-path conversion.
UncNameSource SystemUncNameSource();
