// Definitions of the process-wide objects. C++ builds globals of one translation unit in the order
// of their definitions and destroys them in reverse, which gives the start-up and exit order:
// no constructor or destructor below traces, so the trace lock (built last) is never used
// outside its lifetime.
#include "app/ProcessObjects.h"

#include "app/MainApp.h"
#include "runtime/Trace.h"
#include "runtime/Winsock.h"

CMainApp theApp;           // the application object with its hidden window
CWinsock theWinsock;       // Winsock 1.1 for the process
CTraceLock theTraceLock;   // the trace log's lock
