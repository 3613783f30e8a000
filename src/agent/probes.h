// The screen-saver rule that needs no system call; probes_win.h has the
// probes themselves.
#pragma once

// Non-zero when the file name ends in ".SCR", compared without regard to case.
int IsScreenSaverFile(const char* name);
