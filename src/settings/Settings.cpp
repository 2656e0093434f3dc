// The settings record: its values at process start, and loading and saving the options
// (HKEY_LOCAL_MACHINE\Software\Pelko) and the start-with-Windows entry (the Run key).
// Runs on the main thread; every registry failure is silent and leaves the fields or the
// registry as they were.
#include "settings/Settings.h"

#include <cwchar>

#include "settings/ProgramPath.h"
#include "settings/RegKey.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Pelko";
constexpr COLORREF kDefaultBaseColor = RGB(0x20, 0x42, 0x34);

// The start-up entry lives under the user on the NT family and under the machine on Windows 95.
HKEY RunKeyRoot() {
    return (::GetVersion() & 0x80000000u) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Reads a 4-byte REG_DWORD value. Anything else (absent, another type, another size) leaves
// `field` alone, so the default stays.
template <typename Field>
bool ReadDword(HKEY key, const wchar_t* name, Field& field) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof value) return false;
    field = value;
    return true;
}

template <typename Field>
bool ReadBool(HKEY key, const wchar_t* name, Field& field) {
    DWORD value = static_cast<DWORD>(field);
    if (!ReadDword(key, name, value)) return false;
    field = static_cast<BOOL>(value);
    return true;
}

// The registry holds the colour as 0x00RRGGBB; a COLORREF keeps red in the low byte.
COLORREF ColorFromStored(DWORD stored) {
    return RGB((stored >> 16) & 0xFF, (stored >> 8) & 0xFF, stored & 0xFF);
}

}  // namespace

CSettings::CSettings() = default;

CSettings::~CSettings() = default;

BOOL CSettings::Load() {
    // The computer name cannot change while Windows runs, so it is taken once, at the start-up's
    // Load, before any other thread reads it; later loads leave the string alone.
    if (LocalName.empty()) {
        wchar_t computer[260];
        DWORD length = 260;
        if (::GetComputerNameW(computer, &length)) LocalName.assign(computer, length);
    }

    // The serving and discovery threads read these fields while the Options page loads again:
    // everything is read into locals first and each field written once, so that no thread ever
    // sees a default in place of the stored value (friends-only off, for one).
    DWORD addText = TRUE, convert = TRUE, friendsOnlyShown = TRUE, friendsOnlyServed = FALSE, startLocked = FALSE;
    DWORD udpPort = 4000, tcpPort = 4001, timeout = 7000;
    COLORREF baseColor = kDefaultBaseColor;
    RegKey key;
    const bool keyRead = key.Open(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS;
    if (keyRead) {
        ReadBool(key.Get(), L"AddFilenameAsText", addText);
        ReadBool(key.Get(), L"ConvertFilenameToUNC", convert);
        ReadBool(key.Get(), L"ShowFriendsOnly", friendsOnlyShown);
        ReadBool(key.Get(), L"AcceptFriendsOnly", friendsOnlyServed);
        ReadBool(key.Get(), L"StartLocked", startLocked);
        ReadDword(key.Get(), L"UDPPort", udpPort);
        ReadDword(key.Get(), L"TCPPort", tcpPort);
        ReadDword(key.Get(), L"Timeout", timeout);
        DWORD stored = 0;
        if (ReadDword(key.Get(), L"BaseColor", stored)) baseColor = ColorFromStored(stored);
        key.Close();
    }
    AddFilenameAsText = static_cast<BOOL>(addText);
    ConvertFilenameToUNC = static_cast<BOOL>(convert);
    ShowFriendsOnly = static_cast<BOOL>(friendsOnlyShown);
    AcceptFriendsOnly = static_cast<BOOL>(friendsOnlyServed);
    StartLocked = static_cast<BOOL>(startLocked);
    UDPPort = udpPort;
    TCPPort = tcpPort;
    Timeout = timeout;
    BaseColor = baseColor;
    // The Options page loads again each time it is shown; by then the tray menu owns the
    // lock state (and its icon shows it), so only the start of the run takes StartLocked.
    if (keyRead && !m_lockStateLoaded) Locked = StartLocked ? TRUE : FALSE;
    m_lockStateLoaded = true;

    BOOL autorun = FALSE;
    RegKey run;
    if (run.Open(RunKeyRoot(), kRunKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        wchar_t stored[MAX_PATH + 1] = {};
        DWORD type = 0;
        DWORD size = MAX_PATH * sizeof(wchar_t);
        if (::RegQueryValueExW(run.Get(), kRunValue, nullptr, &type, reinterpret_cast<BYTE*>(stored), &size) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ)) {
            stored[size / sizeof(wchar_t)] = L'\0';  // the stored text need not end with a null
            const std::wstring program = ProgramPath();
            autorun = (!program.empty() && ::_wcsicmp(stored, program.c_str()) == 0) ? TRUE : FALSE;
        }
    }
    Autorun = autorun;
    return TRUE;
}

BOOL CSettings::Save() {
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        key.SetDword(L"AddFilenameAsText", static_cast<DWORD>(AddFilenameAsText));
        key.SetDword(L"ConvertFilenameToUNC", static_cast<DWORD>(ConvertFilenameToUNC));
        key.SetDword(L"ShowFriendsOnly", static_cast<DWORD>(ShowFriendsOnly));
        key.SetDword(L"AcceptFriendsOnly", static_cast<DWORD>(AcceptFriendsOnly));
        key.SetDword(L"StartLocked", static_cast<DWORD>(StartLocked));
        key.SetDword(L"UDPPort", UDPPort);
        key.SetDword(L"TCPPort", TCPPort);
        key.SetDword(L"Timeout", Timeout);
        key.Close();
    }

    RegKey run;
    if (run.Open(RunKeyRoot(), kRunKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        if (Autorun) {
            const std::wstring program = ProgramPath();
            if (!program.empty()) run.SetString(kRunValue, program.c_str());
        } else {
            ::RegDeleteValueW(run.Get(), kRunValue);  // absent already: nothing to do
        }
    }
    return TRUE;
}
