// The four registered window messages through which the display programs, the
// preferences library and the agent talk. Registered once, before WinMain.
#pragma once

#include <windows.h>

struct RegisteredMessages {
    UINT configDlg;      // to the engine window: show the preferences dialog
    UINT requestObject;  // to the engine window: a topic or message request
    UINT loadPage;       // to PageWindow: a page request was stored
    UINT configUpdate;   // to DisplayWindow: the settings changed
};

extern const RegisteredMessages gMessages;
