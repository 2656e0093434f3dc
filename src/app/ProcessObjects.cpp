// Definitions of the process-wide objects. C++ builds globals of one translation unit in the order
// of their definitions and destroys them in reverse, which gives the start-up and exit order:
// no constructor or destructor below traces, so the trace lock (built last) is never used
// outside its lifetime.
#include "app/ProcessObjects.h"

#include "app/MainApp.h"
#include "clipboard/LocalClipboard.h"
#include "protocol/Server.h"
#include "runtime/Trace.h"
#include "runtime/Winsock.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/Progressor.h"

CSkin theSkin;             // drawing resources and palette, filled at start-up
CSettings theSettings;     // the settings record
CLocalClipboard theLocalClipboard;   // the local clipboard that the coordinator serves and names formats with
CServer theServer{theSettings, theLocalClipboard};   // the server coordinator: discovery, listener, host table, client
CProgressor theProgressor; // the progress window's thread, started at start-up
CMainApp theApp;           // the application object with its hidden window
// The checksum table comes here in the order, but theChecksum (protocol/Checksum.cpp) needs no
// place in it: its tables are built by the compiler, its constructor only asks the processor
// which way to compute, no constructor or destructor of this list computes a checksum, and it
// has nothing to undo at exit.
CWinsock theWinsock;       // Winsock 1.1 for the process
CTraceLock theTraceLock;   // the trace log's lock
