// The process-wide objects the socket layer needs in a benchmark program, in the program's order.
#include "runtime/Trace.h"
#include "runtime/Winsock.h"

CWinsock theWinsock;
CTraceLock theTraceLock;
