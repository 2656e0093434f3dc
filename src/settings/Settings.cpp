// A stand-in for the settings record until its registry code arrives: the fields keep the
// defaults of their declarations. Only what the clipboard code needs to link is here.
#include "settings/Settings.h"

CSettings::CSettings() = default;
CSettings::~CSettings() = default;
