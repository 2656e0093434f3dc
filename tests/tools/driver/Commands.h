// The driver's commands. Each takes the arguments after its name and returns the exit code:
// 0 success, 1 failure (with the reason on stderr).
#pragma once

#include "Args.h"

// ClipboardCommands.cpp
int CmdSetClip(CArgs& args);    // setclip [--text T] [--format NAME HEX]... [--files PATH...]
int CmdGetClip(CArgs& args);    // getclip NAME [--hex|--text|--wtext] [--timeout MS]
int CmdFormats(CArgs& args);    // formats

// PatternCommands.cpp
int CmdFillClip(CArgs& args);    // fillclip [--text T] --format NAME SIZE...
int CmdPasteCheck(CArgs& args);  // pastecheck NAME... [--timeout MS]

// WindowCommands.cpp
int CmdFind(CArgs& args);       // find WINDOW
int CmdWait(CArgs& args);       // wait WINDOW [--timeout MS] [--gone]
int CmdInfo(CArgs& args);       // info WINDOW
int CmdPost(CArgs& args);       // post WINDOW MSG [WPARAM [LPARAM]]
int CmdSend(CArgs& args);       // send WINDOW MSG [WPARAM [LPARAM]] [--timeout MS]
int CmdDialog(CArgs& args);     // dialog WINDOW
int CmdPress(CArgs& args);      // press WINDOW ID
int CmdTree(CArgs& args);       // tree WINDOW
int CmdItems(CArgs& args);      // items WINDOW

// MenuCommands.cpp
int CmdTray(CArgs& args);       // tray [--timeout MS] [KEY...]
int CmdMenuKeys(CArgs& args);   // keys [--timeout MS] KEY...

// HoldCommand.cpp
int CmdHold(CArgs& args);       // hold

// ProcessCommands.cpp
int CmdRunning(CArgs& args);    // running PID|NAME
int CmdWaitExit(CArgs& args);   // wait-exit PID|NAME [--timeout MS]
int CmdWaitIdle(CArgs& args);   // wait-idle PID|NAME [--timeout MS]
