// This program's own file and folder, the only source of the paths of the
// programs beside it, and programs started without waiting for them.
#pragma once

#include <windows.h>

#include <string>

#include "base/scoped_win.h"

// The full path of this program's file; empty when it cannot be had whole: a
// path that fills the buffer was cut, and a folder taken from it would be
// another folder.
std::string ProgramPath();

// Its folder, without the last backslash; empty whenever ProgramPath is.
std::string ProgramFolder();

// Starts a command line (the caller quotes the program's path) with the
// creation flags, in folder when one is given, shown normally, and does not
// wait for it. The process's handle, for a caller that waits; empty when it
// did not start.
ScopedHandle StartProgram(const std::string& commandLine, DWORD flags = 0, const char* folder = nullptr);
