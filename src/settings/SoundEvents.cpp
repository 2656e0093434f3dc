// Registration of the program's sound events under HKEY_CURRENT_USER\AppEvents. Runs once on the
// main thread during start-up, before any other thread exists. Registry failures are silent:
// an event that could not be registered simply plays nothing.
#include "settings/SoundEvents.h"

#include <string>

#include "resource.h"
#include "runtime/Module.h"
#include "settings/ProgramPath.h"
#include "settings/RegKey.h"

namespace {

constexpr wchar_t kSchemeKey[] = L"AppEvents\\Schemes\\Apps\\Pelko";
constexpr wchar_t kLabelsKey[] = L"AppEvents\\EventLabels";
constexpr wchar_t kProductName[] = L"Pelko Network Clipboard";

struct SoundEvent {
    const wchar_t* name;
    const wchar_t* label;
    const wchar_t* file;
};

constexpr SoundEvent kEvents[] = {
    {kSoundReadyToTransfer, L"Pelko - Ready To Transfer", L"ReadyToTransfer.wav"},
    {kSoundTransferCompleted, L"Pelko - Transfer Completed", L""},
    {kSoundTaskFailed, L"Pelko - Task Failed", L""},
    {kSoundNewFriend, L"Pelko - New Friend", L""},
    {kSoundDataRequested, L"Pelko - Data Requested", L""},
    {kSoundDataTransmitted, L"Pelko - Data Transmitted", L""},
};

// The sound file beside the program. Without a usable program path the bare file name is
// stored. The joined path may exceed MAX_PATH: it is kept whole, since a cut path names no file.
std::wstring SoundFilePath(const wchar_t* file) {
    const std::wstring program = ProgramPath();
    const size_t slash = program.rfind(L'\\');
    if (slash == std::wstring::npos) return file;
    return program.substr(0, slash + 1) + file;
}

// The application's display name: the product name of the string table.
std::wstring DisplayName() {
    const std::wstring_view text = ResourceText(IDS_PRODUCT_NAME);
    return text.empty() ? std::wstring(kProductName) : std::wstring(text);
}

}  // namespace

BOOL RegisterSoundEvent(const wchar_t* name, const wchar_t* label, const wchar_t* file) {
    const std::wstring path = (file && *file) ? SoundFilePath(file) : std::wstring();

    RegKey scheme;
    if (scheme.Create(HKEY_CURRENT_USER, kSchemeKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        RegKey event;
        if (event.Create(scheme.Get(), name, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
            event.SetString(nullptr, label);
            for (const wchar_t* which : {L".Default", L".Current"}) {
                RegKey sound;
                if (sound.Create(event.Get(), which, KEY_ALL_ACCESS) == ERROR_SUCCESS)
                    sound.SetString(nullptr, path.c_str());
            }
        }
    }

    // The labels key belongs to the system: it is used when present, never created here.
    RegKey labels;
    if (labels.Open(HKEY_CURRENT_USER, kLabelsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        RegKey eventLabel;
        if (eventLabel.Create(labels.Get(), name, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            eventLabel.SetString(nullptr, label);
    }
    return TRUE;
}

void RegisterSoundEvents() {
    RegKey scheme;
    // Present already: registered on an earlier start, perhaps with sounds the user chose since.
    if (scheme.Open(HKEY_CURRENT_USER, kSchemeKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) return;
    if (scheme.Create(HKEY_CURRENT_USER, kSchemeKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    scheme.SetString(nullptr, DisplayName().c_str());
    scheme.Close();

    for (const SoundEvent& event : kEvents) RegisterSoundEvent(event.name, event.label, event.file);
}
