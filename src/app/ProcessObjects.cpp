// Definitions of the process-wide objects. C++ builds globals of one translation unit in the order
// of their definitions and destroys them in reverse, which gives the start-up and exit order:
// no constructor or destructor below traces, so the trace lock (built last) is never used
// outside its lifetime.
#include "app/ProcessObjects.h"

#include "app/MainApp.h"
#include "protocol/Server.h"
#include "runtime/Trace.h"
#include "runtime/Winsock.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/Progressor.h"

CSkin theSkin;             // drawing resources and palette, filled at start-up
CSettings theSettings;     // the settings record
CServer theServer;         // the server coordinator: discovery, listener, host table, client
CProgressor theProgressor; // the progress window's thread, started at start-up
CMainApp theApp;           // the application object with its hidden window
// The checksum table comes here in the order, but theChecksum (protocol/Checksum.cpp) is built
// by the compiler (constant initialisation): it exists before every object of this list and
// has nothing to undo at exit, so it needs no definition here.
CWinsock theWinsock;       // Winsock 1.1 for the process
CTraceLock theTraceLock;   // the trace log's lock
