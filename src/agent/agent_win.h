// The process-wide state of the agent core. One thread owns all of it: every
// event reaches the agent as a window message on that thread.
#pragma once

#include <windows.h>

struct AgentCore {
    HINSTANCE instance;
    HWND engineWindow;     // 0 once destroyed
    HMENU trayMenu;        // 0 once destroyed
    bool preferencesBusy;  // a preferences dialog is running
};

extern AgentCore gAgent;
