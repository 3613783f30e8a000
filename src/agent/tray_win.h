// The notification-area icon and its menu. Without a notification area the
// same menu hangs in the engine window's system menu.
#pragma once

#include <windows.h>

// Adds the icon; the icon handle, when given, is destroyed afterwards. An
// absent tip gives an empty tip. Returns Shell_NotifyIconA's result.
BOOL TrayIconAdd(HWND owner, UINT id, UINT callbackMessage, HICON icon, const char* tip);
BOOL TrayIconDelete(HWND owner, UINT id);

// Builds the menu ("Ticker", "Preferences", and "E&xit Agent" only with a
// notification area) and puts it where the user can reach it: behind the
// icon, or into the system menu. Returns the menu, or 0 when none could be made.
HMENU CreateTrayMenu(HWND engineWindow, HINSTANCE instance, bool trayPresent);

// Shows the menu at the cursor; the choice arrives as WM_COMMAND.
void ShowTrayMenu(HWND engineWindow, HMENU menu);
