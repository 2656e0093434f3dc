// The program's sound events: registered for the user under HKEY_CURRENT_USER\AppEvents on the
// first start (RegisterSoundEvents), played by name wherever their moment occurs.
#pragma once

#include <windows.h>

#include <mmsystem.h>

// Event names, in the order of registration.
constexpr wchar_t kSoundReadyToTransfer[] = L"PelkoReadyToTransfer";
constexpr wchar_t kSoundTransferCompleted[] = L"PelkoTransferCompleted";
constexpr wchar_t kSoundTaskFailed[] = L"PelkoTaskFailed";
constexpr wchar_t kSoundNewFriend[] = L"PelkoNewFriend";
constexpr wchar_t kSoundDataRequested[] = L"PelkoDataRequested";
constexpr wchar_t kSoundDataTransmitted[] = L"PelkoDataTransmitted";

// Played without waiting (host table, clipboard placement).
constexpr DWORD kSoundFlagsAsync = SND_ASYNC | SND_NODEFAULT | SND_APPLICATION;
// Played to the end before the call returns (serving connection).
constexpr DWORD kSoundFlagsSync = SND_NODEFAULT | SND_APPLICATION;

// Registers the program's sound events for the current user, once: an earlier start's
// registration (perhaps with sounds the user chose since) is left as it is. Main thread, at start-up.
void RegisterSoundEvents();

// Writes the scheme entries and the label of one event; `file` is a file name beside the program,
// or empty for an event without a sound of its own. Registry failures are silent; returns TRUE.
BOOL RegisterSoundEvent(const wchar_t* name, const wchar_t* label, const wchar_t* file);

// Plays an event of this application by name. An event without a sound stays silent.
inline BOOL PlaySoundEvent(const wchar_t* name, DWORD flags) {
    return ::PlaySoundW(name, nullptr, flags);
}
