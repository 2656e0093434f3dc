// The process-wide objects of a Windows test program, in the program's order (see
// src/app/ProcessObjects.cpp); the application object is left out: tests build their own windows.
#include "runtime/Trace.h"
#include "settings/Settings.h"

CSettings theSettings;
CTraceLock theTraceLock;
