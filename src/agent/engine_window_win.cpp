#include "agent/engine_window_win.h"

#include <cstring>
#include <string>

#include "agent/agent_win.h"
#include "agent/clock_win.h"
#include "agent/jobs_win.h"
#include "agent/paths.h"
#include "agent/preferences_win.h"
#include "agent/probes_win.h"
#include "agent/request_servers_win.h"
#include "agent/resource.h"
#include "agent/tray_win.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "jobs/config_file.h"
#include "news/topic_array.h"
#include "shared/config_data.h"
#include "shared/messages_win.h"
#include "shared/names.h"
#include "shared/registry.h"

namespace {

// Windows shutting down waits for the agent; a display program that no longer
// answers must not hold it up for ever.
constexpr UINT kCloseGlancerTimeoutMs = 5000;

bool TrayPresent() {
    return gConfig && gConfig->TrayPresent;
}

// Launch or activate the sibling display program.
void ShowGlancer() {
    if (HWND glancer = FindWindowA(kGlancerWindowClass, nullptr)) {
        SetForegroundWindow(glancer);
        return;
    }
    char path[MAX_PATH];
    char dir[sizeof gDirs.InstallDir];
    StrCopyField(dir, sizeof dir, gDirs.InstallDir, sizeof gDirs.InstallDir);
    if (!InstallGlancerPath(dir, path, sizeof path)) return;
    if (!LaunchProgram(path)) Trace("EngineWindowProc(): Could not start %s", path);
}

// The shutdown of a running agent; the rest follows after the message loop.
void OnClose(HWND window) {
    if (gConfig) {
        try {
            gTopicArray.Save();
            CRegistry::WriteSettingsFile(*gConfig);
        } catch (...) {
            TraceCaught("EngineWindowProc()");  // the shutdown goes on
        }
    }
    if (HWND glancer = FindWindowA(kGlancerWindowClass, nullptr)) {
        SendMessageTimeoutA(glancer, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kCloseGlancerTimeoutMs, nullptr);
    }
    if (gAgent.trayMenu) {
        DestroyMenu(gAgent.trayMenu);
        gAgent.trayMenu = nullptr;
    }
    TrayIconDelete(window, kTrayIconId);
    StopClock(window);
    DestroyJobs();
    DestroyWindow(window);
    gAgent.engineWindow = nullptr;
}

void OnEndSession(HWND window, WPARAM ending) {
    if (ending) SendMessageA(window, WM_CLOSE, 0, 0);
}

// Another program hands over the path of a subscription file. The sender is
// not trusted: only a terminated text within what it sent is read, and only
// a record whose data word is 0 carries a path (the display settings the
// preferences hand out carry 1).
void OnCopyData(const COPYDATASTRUCT* data) {
    const char* text = CopyDataPath(data);
    if (!text || data->dwData != 0) {
        Trace("EngineWindowProc(): WM_COPYDATA ignored: no terminated path");
        return;
    }
    std::string path = text;
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    Trace("EngineWindowProc(): WM_COPYDATA subscription file %s", path.c_str());
    EngineUpdate::ParseConfigFile(path.c_str());  // what it raises is traced by the window procedure
}

void OnConfigDlg() {
    if (gAgent.preferencesBusy) return;  // the dialog is open already
    gAgent.preferencesBusy = true;
    RunPreferences();
    gAgent.preferencesBusy = false;
}

// True when the command was one of the agent's.
bool OnCommand(HWND window, WORD command) {
    switch (command) {
        case IDM_EXIT: SendMessageA(window, WM_CLOSE, 0, 0); return true;
        case IDM_TICKER: SendMessageA(window, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK); return true;
        case IDM_PREFERENCES: SendMessageA(window, gMessages.configDlg, 0, 0); return true;
        default: return false;
    }
}

void OnTrayNotify(HWND window, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK) ShowGlancer();
    if (mouseMessage == WM_RBUTTONDOWN && gAgent.trayMenu) ShowTrayMenu(window, gAgent.trayMenu);
}

}  // namespace

ATOM RegisterEngineClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = EngineWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ENGINE));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kEngineWindowClass;
    return RegisterClassA(&wc);
}

HWND CreateEngineWindow(HINSTANCE instance) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    return CreateWindowExA(0, kEngineWindowClass, kEngineWindowTitle, WS_CAPTION | WS_SYSMENU, 64, screenHeight - 320,
                           screenWidth - 128, 128, nullptr, nullptr, instance, nullptr);
}

const char* CopyDataPath(const COPYDATASTRUCT* data) {
    if (!data || !data->lpData || data->cbData == 0) return nullptr;
    const char* text = static_cast<const char*>(data->lpData);
    if (!memchr(text, '\0', data->cbData) || text[0] == '\0') return nullptr;
    return text;
}

namespace {

LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The registered messages are numbers known only at run time.
    if (message == gMessages.configDlg) {
        OnConfigDlg();
        return 0;
    }
    if (message == gMessages.requestObject) {
        WORD channel = LOWORD(lParam);
        if (channel == kTopicChannel) return gTopicServer.ProcessMessage(wParam, lParam);
        if (channel == kMessageChannel) return gMessageServer.ProcessMessage(wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_ENDSESSION: OnEndSession(window, wParam); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_CLOSE: OnClose(window); return 0;
        case WM_QUERYOPEN: return 0;  // the window stays minimised
        case WM_COPYDATA: OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam)); break;
        case WM_NCLBUTTONDBLCLK:
            if (!IsIconic(window) || TrayPresent()) break;
            PostMessageA(window, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
            return 0;
        case WM_COMMAND:
        case WM_SYSCOMMAND:
            if (OnCommand(window, LOWORD(wParam))) return 0;
            break;
        case kTrayCallbackMessage: OnTrayNotify(window, lParam); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// Nothing a handler raises may leave the window procedure: it would end the
// agent. What a message asked for is then given up, with a trace.
LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Dispatch(window, message, wParam, lParam);
    } catch (...) {
        TraceCaught("EngineWindowProc()");
        return 0;
    }
}
