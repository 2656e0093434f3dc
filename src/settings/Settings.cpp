// Stand-in for the settings store until it lands: the record with its defaults, and operations
// that succeed without touching the registry. Replaced as a whole by the real settings store.
#include "settings/Settings.h"

CSettings::CSettings() = default;
CSettings::~CSettings() = default;

BOOL CSettings::Load() { return TRUE; }
BOOL CSettings::Save() { return TRUE; }
BOOL CSettings::LoadHosts() { return TRUE; }
BOOL CSettings::SaveHosts() { return TRUE; }
BOOL CSettings::SaveNick(const wchar_t*, const wchar_t*) { return TRUE; }
