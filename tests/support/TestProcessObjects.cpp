// The process-wide objects of a Windows test program, in the program's order (see
// src/app/ProcessObjects.cpp); the application object is left out: tests build their own windows.
#include "clipboard/LocalClipboard.h"
#include "protocol/Server.h"
#include "runtime/Trace.h"
#include "runtime/Winsock.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/Progressor.h"

CSkin theSkin;
CSettings theSettings;     // the settings record (tests change its fields as they need)
CLocalClipboard theLocalClipboard;
CServer theServer{theSettings, theLocalClipboard};   // the coordinator (not started unless a test starts it)
CProgressor theProgressor; // not started unless a test starts it
CWinsock theWinsock;
CTraceLock theTraceLock;
