// TEMPORARY stand-in so that the skin links before the settings store lands: the record keeps
// its defaults and every operation succeeds. Replaced by the real settings store.
#include "settings/Settings.h"

CSettings::CSettings() = default;
CSettings::~CSettings() = default;
BOOL CSettings::Load() { return TRUE; }
BOOL CSettings::Save() { return TRUE; }
BOOL CSettings::LoadHosts() { return TRUE; }
BOOL CSettings::SaveHosts() { return TRUE; }
BOOL CSettings::SaveNick(const wchar_t*, const wchar_t*) { return TRUE; }
