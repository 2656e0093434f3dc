// The process-wide objects, each a single instance, built before start-up in a fixed order and
// destroyed at exit in the reverse order. They are defined together in ProcessObjects.cpp so that
// the order of definition is the order of construction.
#pragma once

class CSkin;
class CSettings;
class CLocalClipboard;
class CServer;
class CMainApp;
class CProgressor;
class CSettings;
class CTraceLock;
class CWinsock;

extern CSkin theSkin;
extern CSettings theSettings;
extern CLocalClipboard theLocalClipboard;
extern CServer theServer;
extern CProgressor theProgressor;
extern CMainApp theApp;
extern CWinsock theWinsock;
extern CTraceLock theTraceLock;
