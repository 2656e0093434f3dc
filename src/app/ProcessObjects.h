// The process-wide objects, each a single instance, built before start-up in a fixed order and
// destroyed at exit in the reverse order. They are defined together in ProcessObjects.cpp so that
// the order of definition is the order of construction.
#pragma once

class CMainApp;
class CSettings;
class CTraceLock;

extern CSettings theSettings;
extern CMainApp theApp;
extern CTraceLock theTraceLock;
