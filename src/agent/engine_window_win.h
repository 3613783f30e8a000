// The hidden engine window: the agent's only doorway. Display programs, the
// preferences library, the notification-area icon and the system all reach
// the agent through its window procedure.
#pragma once

#include <windows.h>

ATOM RegisterEngineClass(HINSTANCE instance);
HWND CreateEngineWindow(HINSTANCE instance);
LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The path carried by a WM_COPYDATA record, or null when the record holds no
// NUL-terminated, non-empty text within its length. The sender is another
// process and is not trusted.
const char* CopyDataPath(const COPYDATASTRUCT* data);
