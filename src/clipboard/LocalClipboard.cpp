#include "clipboard/LocalClipboard.h"

#include <ole2.h>

#include <new>

#include "clipboard/FileLists.h"
#include "clipboard/FormatNames.h"
#include "clipboard/LocalClipboardWork.h"
#include "clipboard/OleThread.h"
#include "protocol/WideText.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

namespace {

// Names of registered formats longer than 259 characters are cut there.
constexpr int kListNameChars = 260;

FORMATETC ContentFormat(UINT id, DWORD tymed) {
    return {CLIPFORMAT(id), nullptr, DVASPECT_CONTENT, -1, tymed};
}

// Whether the clipboard says it has the format, in any storage medium.
bool IsDataAvailable(IDataObject* data, UINT id) {
    FORMATETC format = ContentFormat(id, DWORD(-1));
    return data->QueryGetData(&format) == S_OK;
}

std::wstring NameForList(UINT id) {
    if (const char16_t* standard = StandardNameOfFormat(id)) return ToWide(standard);
    wchar_t name[kListNameChars];
    const int length = ::GetClipboardFormatNameW(id, name, kListNameChars);
    if (length <= 0) return ToWide(kUnknownFormatName);
    return std::wstring(name, std::size_t(length));
}

// A block whose handle is its own address is fixed memory; the clipboard's blocks must move.
bool IsMovableBlock(HGLOBAL block) {
    void* data = ::GlobalLock(block);
    if (!data) return false;
    ::GlobalUnlock(block);
    return data != static_cast<void*>(block);
}

HGLOBAL CopyGlobal(HGLOBAL source) {
    GlobalLockGuard lock(source);
    if (!lock.Data()) return nullptr;
    return CopyToGlobal({static_cast<const std::uint8_t*>(lock.Data()), lock.Size()});
}

// Formats whose clipboard handle is a GDI object or a window's business, not a memory block.
bool IsHandleFormat(UINT id) {
    return id == CF_BITMAP || id == CF_PALETTE || id == CF_ENHMETAFILE || id == CF_METAFILEPICT ||
           id == CF_DSPBITMAP || id == CF_DSPENHMETAFILE || id == CF_DSPMETAFILEPICT || id == CF_OWNERDISPLAY;
}

// Wine's clipboard data object gives no CF_DIB (nor some other formats that are plain memory
// blocks on the clipboard): such a block is copied from the clipboard itself. Opening the
// clipboard without a window takes no ownership; the caller holds the readers' lock. The
// clipboard is open for the one copy only, and a read that finds it taken by the user's own
// work gives up rather than compete with it (the peer is told the data is not available).
HGLOBAL ReadDirectly(UINT id) {
    if (IsHandleFormat(id)) return nullptr;
    CPeerClipboardRead clipboard;
    if (!clipboard.IsOpen()) return nullptr;
    HANDLE handle = ::GetClipboardData(id);
    return handle ? CopyGlobal(static_cast<HGLOBAL>(handle)) : nullptr;
}

}  // namespace

BOOL CLocalClipboard::GetLocalClipInfo(std::wstring& list) const {
    list.clear();
    try {
        COleThreadScope ole;
        CriticalSectionLock lock(m_readers);
        YieldToLocalClipboardWork();
        UniqueCom<IDataObject> data;
        if (FAILED(::OleGetClipboard(data.Put())) || !data) return FALSE;
        ListFormats(data.Get(), list);
        return TRUE;
    } catch (const std::bad_alloc&) {
        list.clear();
        return FALSE;
    }
}

void CLocalClipboard::ListFormats(IDataObject* data, std::wstring& list) {
    std::u16string text;
    UniqueCom<IEnumFORMATETC> formats;
    if (SUCCEEDED(data->EnumFormatEtc(DATADIR_GET, formats.Put())) && formats) {
        FORMATETC format{};
        while (formats.Get()->Next(1, &format, nullptr) == S_OK) {
            if (format.ptd) ::CoTaskMemFree(format.ptd);
            const UINT id = format.cfFormat;
            const std::wstring name = NameForList(id);
            const bool available = IsDataAvailable(data, id);
            ExTrace(L"ENUM [%s]=%d;  avail=%d", name.c_str(), int(id), available ? 1 : 0);
            if (available) AppendFormatName(text, ToUtf16(name));
        }
    }
    list = ToWide(text);
}

HGLOBAL CLocalClipboard::GetClipboardData(const wchar_t* name) const {
    if (!name) return nullptr;
    ExTrace(L"CServer:GetClipboardData %s", name);
    try {
        const UINT id = FormatIdFromName(name);
        if (id == 0) return nullptr;
        HGLOBAL block = nullptr;
        {
            COleThreadScope ole;
            CriticalSectionLock lock(m_readers);
            YieldToLocalClipboardWork();
            UniqueCom<IDataObject> data;
            if (FAILED(::OleGetClipboard(data.Put())) || !data) return nullptr;
            if (!IsDataAvailable(data.Get(), id)) return nullptr;
            block = TakeGlobalData(data.Get(), id);
            if (!block) block = ReadDirectly(id);
        }
        if (block && id == CF_HDROP && theSettings.ConvertFilenameToUNC) block = ConvertDropToUNC(block);
        return block;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HGLOBAL CLocalClipboard::TakeGlobalData(IDataObject* data, UINT id) {
    FORMATETC format = ContentFormat(id, TYMED_HGLOBAL);
    STGMEDIUM medium{};
    if (data->GetData(&format, &medium) != S_OK) return nullptr;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal && !medium.pUnkForRelease &&
        IsMovableBlock(medium.hGlobal)) {
        return medium.hGlobal;  // handed to us: the caller owns it now
    }
    // Still the data object's (or fixed memory, or not a global block at all): copy what can be.
    HGLOBAL block = (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) ? CopyGlobal(medium.hGlobal) : nullptr;
    ::ReleaseStgMedium(&medium);
    return block;
}

UINT CLocalClipboard::FormatIdFromName(const wchar_t* name) const {
    if (!name) return 0;
    if (const UINT id = StandardFormatOfName(ToUtf16(name))) return id;
    return ::RegisterClipboardFormatW(name);
}

const wchar_t* CLocalClipboard::FormatNameFromId(UINT id) {
    if (const char16_t* standard = StandardNameOfFormat(id)) {
        const std::wstring name = ToWide(standard);
        ::wcsncpy(m_formatName, name.c_str(), std::size(m_formatName) - 1);
        m_formatName[std::size(m_formatName) - 1] = L'\0';
        return m_formatName;
    }
    if (::GetClipboardFormatNameW(id, m_formatName, int(std::size(m_formatName))) == 0) return nullptr;
    return m_formatName;
}
