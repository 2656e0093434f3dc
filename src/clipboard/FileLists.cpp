#include "clipboard/FileLists.h"

#include <shlobj.h>
#include <winnetwk.h>

#include <cstring>
#include <new>

#include "protocol/WideText.h"
#include "runtime/Handles.h"
#include "runtime/Trace.h"

namespace {

std::u16string DecodeAnsiCodePage(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(std::size_t(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), wide.data(), length);
    return ToUtf16(wide);
}

std::optional<std::u16string> ComputerName() {
    // Room for the longest computer name the system gives (15 characters) and its terminator.
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return std::nullopt;
    return ToUtf16(std::wstring_view(name, size));
}

unsigned DriveTypeOf(const std::u16string& path) {
    std::wstring writable = ToWide(path);
    return ::GetPathDriveType(writable.data());
}

// WNetGetUniversalNameW in the usual two steps: a 1-byte buffer to learn the size, then the name.
std::optional<std::u16string> UniversalNameOf(const std::u16string& path) {
    const std::wstring local = ToWide(path);
    BYTE probe[1];
    DWORD size = sizeof(probe);
    DWORD result = ::WNetGetUniversalNameW(local.c_str(), UNIVERSAL_NAME_INFO_LEVEL, probe, &size);
    if (result != ERROR_MORE_DATA && result != NO_ERROR) {
        ExTrace(L"WNetGetUniversalName failed for %s: %d", local.c_str(), int(result));
        return std::nullopt;
    }
    if (size < sizeof(UNIVERSAL_NAME_INFOW)) size = sizeof(UNIVERSAL_NAME_INFOW) + 2 * MAX_PATH;
    std::vector<BYTE> buffer(size);  // the allocator aligns it for the pointer at its front
    result = ::WNetGetUniversalNameW(local.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
    if (result != NO_ERROR) return std::nullopt;
    const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data());
    if (!info->lpUniversalName) return std::nullopt;
    return ToUtf16(info->lpUniversalName);
}

// One shell item ID list, freed with the shell's allocator.
class ShellItemList {
public:
    ShellItemList(IMalloc* allocator, LPITEMIDLIST list) noexcept : m_allocator(allocator), m_list(list) {}
    ShellItemList(const ShellItemList&) = delete;
    ShellItemList& operator=(const ShellItemList&) = delete;
    ~ShellItemList() { if (m_list) m_allocator->Free(m_list); }
    ByteBlock Bytes() const {
        const auto* begin = reinterpret_cast<const std::uint8_t*>(m_list);
        return ByteBlock(begin, begin + ::ILGetSize(m_list));
    }

private:
    IMalloc* m_allocator;
    LPITEMIDLIST m_list;
};

}  // namespace

UINT GetPathDriveType(LPWSTR path) {
    const std::size_t root = DriveRootLength(ToUtf16(path));
    if (root == 0) return DRIVE_UNKNOWN;
    const wchar_t cut = path[root];
    path[root] = L'\0';
    const UINT type = ::GetDriveTypeW(path);
    path[root] = cut;
    return type;
}

std::vector<std::u16string> ReadDropFileList(HGLOBAL drop) {
    GlobalLockGuard lock(drop);
    if (!lock.Data()) return {};
    return ReadDropFiles({static_cast<const std::uint8_t*>(lock.Data()), lock.Size()}, DecodeAnsiCodePage);
}

HGLOBAL CopyToGlobal(std::span<const std::uint8_t> bytes) {
    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size()));
    if (!block) return nullptr;
    {
        GlobalLockGuard lock(block.Get());
        if (!lock.Data()) return nullptr;
        std::memcpy(lock.Data(), bytes.data(), bytes.size());
    }
    return block.Detach();
}

UncNameSource SystemUncNameSource() {
    return {ComputerName, DriveTypeOf, UniversalNameOf};
}

HGLOBAL ConvertDropToUNC(HGLOBAL drop) {
    try {
        const auto converted = ConvertPathsToUNC(ReadDropFileList(drop), SystemUncNameSource());
        if (!converted) return drop;
        HGLOBAL block = CopyToGlobal(WriteDropFiles(*converted));
        if (!block) return drop;
        ::GlobalFree(drop);
        return block;
    } catch (const std::bad_alloc&) {
        return drop;  // the list travels with its local paths
    }
}

HGLOBAL CreateTextFromHDROP(HGLOBAL drop) {
    ExTrace(L"CreateTextFromHDROP");
    try {
        const auto paths = ReadDropFileList(drop);
        if (paths.empty()) return nullptr;
        return CopyToGlobal(WriteFileListText(paths));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HGLOBAL CreateIDListArray(HGLOBAL drop) {
    try {
        const auto paths = ReadDropFileList(drop);
        if (paths.empty()) return nullptr;
        UniqueCom<IMalloc> allocator;
        if (FAILED(::SHGetMalloc(allocator.Put())) || !allocator) return nullptr;
        UniqueCom<IShellFolder> desktop;
        if (FAILED(::SHGetDesktopFolder(desktop.Put())) || !desktop) return nullptr;

        std::vector<ByteBlock> items;
        for (const auto& path : paths) {
            std::wstring name = ToWide(path);
            LPITEMIDLIST parsed = nullptr;
            const HRESULT hr = desktop.Get()->ParseDisplayName(nullptr, nullptr, name.data(), nullptr,
                                                               &parsed, nullptr);
            ShellItemList item(allocator.Get(), parsed);
            if (FAILED(hr) || !parsed) continue;  // a path that does not parse is left out
            items.push_back(item.Bytes());
        }
        const auto block = WriteIdListArray(paths.size(), items);
        return block ? CopyToGlobal(*block) : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
