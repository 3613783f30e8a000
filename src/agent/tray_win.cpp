#include "agent/tray_win.h"

#include <shellapi.h>

#include "agent/resource.h"
#include "base/scoped_win.h"
#include "base/strutil.h"
#include "shared/names.h"

BOOL TrayIconAdd(HWND owner, UINT id, UINT callbackMessage, HICON icon, const char* tip) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    ScopedIcon owned(icon);  // the shell keeps its own copy
    data.hIcon = icon;
    StrCopy(data.szTip, 64, tip);
    return Shell_NotifyIconA(NIM_ADD, &data);
}

BOOL TrayIconDelete(HWND owner, UINT id) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = id;
    return Shell_NotifyIconA(NIM_DELETE, &data);
}

HMENU CreateTrayMenu(HWND engineWindow, HINSTANCE instance, bool trayPresent) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return nullptr;
    AppendMenuA(menu, MF_STRING, IDM_TICKER, "Ticker");
    AppendMenuA(menu, MF_STRING, IDM_PREFERENCES, "Preferences");
    if (trayPresent) {
        AppendMenuA(menu, MF_STRING, IDM_EXIT, "E&xit Agent");
        HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ENGINE));
        TrayIconAdd(engineWindow, kTrayIconId, kTrayCallbackMessage, icon, kTrayTip);
    } else {
        // Without a notification area the minimised window carries the menu;
        // its commands then arrive as WM_SYSCOMMAND.
        HMENU system = GetSystemMenu(engineWindow, FALSE);
        AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(system, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), kEngineWindowTitle);
    }
    return menu;
}

void ShowTrayMenu(HWND engineWindow, HMENU menu) {
    POINT cursor;
    GetCursorPos(&cursor);
    // Without becoming the foreground window first, the menu would not close
    // when the user clicks elsewhere; the WM_NULL afterwards lets the next
    // click on the icon open it again.
    SetActiveWindow(engineWindow);
    SetForegroundWindow(engineWindow);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, engineWindow, nullptr);
    PostMessageA(engineWindow, WM_NULL, 0, 0);
}
