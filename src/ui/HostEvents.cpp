#include "ui/HostEvents.h"

#include "settings/SoundEvents.h"
#include "ui/UiMessages.h"

void CHostEvents::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
    const HWND window = m_window.load();
    if (window && ::IsWindow(window)) ::PostMessageW(window, message, wParam, lParam);
}

void CHostEvents::HostAdded(DWORD address, const wchar_t* name) {
    PlaySoundEvent(kSoundNewFriend, kSoundFlagsAsync);
    Post(WM_HOSTADDED, address, reinterpret_cast<LPARAM>(name));
}

void CHostEvents::HostRemoved(DWORD address) {
    Post(WM_HOSTREMOVED, address, 0);
}

void CHostEvents::HostChanged(DWORD address, BOOL isFriend) {
    Post(WM_HOSTCHANGED, address, isFriend);
}
