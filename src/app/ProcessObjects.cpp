// Definitions of the process-wide objects. C++ builds globals of one translation unit in the order
// of their definitions and destroys them in reverse, which gives the start-up and exit order:
// no constructor or destructor below traces, so the trace lock (built last) is never used
// outside its lifetime.
#include "app/ProcessObjects.h"

#include "app/MainApp.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

CSettings theSettings;     // the settings record
CMainApp theApp;           // the application object with its hidden window
CTraceLock theTraceLock;   // the trace log's lock
