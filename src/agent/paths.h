// The paths of the programs beside the agent, derived from texts alone.
#pragma once

#include <cstddef>

// Sibling display program started when a command line is forwarded: the
// upper-cased module path cut at "ENGINE.EXE", then "GLANCER.EXE". False when
// the module path does not name ENGINE.EXE or the result would not fit.
bool ForwardingGlancerPath(const char* modulePath, char* out, size_t size);

// The display program started from the tray: "%s\Glancer.exe" from the
// install directory. False when the result would not fit.
bool InstallGlancerPath(const char* installDir, char* out, size_t size);

// The repair installer: the module path cut after its last backslash, then
// "install.exe". False when the result would not fit.
bool RepairInstallerPath(const char* modulePath, char* out, size_t size);
