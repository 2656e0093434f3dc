// Clipboard format names as Pelko puts them on the wire: the predefined formats by their
// "CF_" names, every other format by its registered name.
#pragma once

#include <windows.h>

#include <string>

// The id for a name: a predefined name (any case), "#N" for a bare number, or a registered name
// (registered if new, as the program itself does). 0 if the name cannot be registered.
UINT FormatIdFromName(const std::wstring& name);
// The name for an id: predefined, registered, or "(Unknown)".
std::wstring FormatNameFromId(UINT id);
