// The probes on Windows. The screen-saver test works differently on each of
// the three Win32 platforms, chosen once from the platform identifier.
#include "agent/probes_win.h"

#include <tlhelp32.h>

#include <string>

#include "agent/probes.h"
#include "base/program_win.h"
#include "base/scoped_win.h"
#include "base/strutil.h"
#include "base/trace.h"

namespace {

DWORD QueryPlatformId() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) ? version.dwPlatformId : VER_PLATFORM_WIN32_NT;
}

const DWORD gPlatformId = QueryPlatformId();

// The process-list functions exist only in some KERNEL32 versions, so they
// are looked up by name on first use and released at process exit.
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
// The walk hands the entry's size in its first field; a 32-bit process's
// entry is 296 bytes (a 64-bit one's 304, for its pointer-sized fields).
static_assert(sizeof(void*) != 4 || sizeof(PROCESSENTRY32) == 296, "the 32-bit process entry is 296 bytes");

// GetProcAddress gives a generic function pointer; going through void*
// tells the compiler the cast to the real type is meant.
template <typename Fn>
Fn LoadProc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct ProcessListFunctions {
    bool attempted = false;
    ScopedLibrary kernel;
    CreateSnapshotFn createSnapshot = nullptr;
    ProcessWalkFn first = nullptr;
    ProcessWalkFn next = nullptr;

    void Load() {
        if (attempted) return;
        attempted = true;
        kernel.Reset(LoadLibraryA("KERNEL32.DLL"));
        if (!kernel) return;
        createSnapshot = LoadProc<CreateSnapshotFn>(kernel.get(), "CreateToolhelp32Snapshot");
        if (!createSnapshot) return;
        first = LoadProc<ProcessWalkFn>(kernel.get(), "Process32First");
        next = LoadProc<ProcessWalkFn>(kernel.get(), "Process32Next");
    }
} gProcessList;

int ScreenSaverOnWin32s() {
    HWND active = GetActiveWindow();
    if (!IsScreenSaverWindow(active)) return 0;
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(active, GWLP_HINSTANCE));
    if (!instance) return 0;
    char name[MAX_PATH];
    if (!GetModuleFileNameA(instance, name, sizeof name)) return 0;
    return IsScreenSaverFile(name);
}

int ScreenSaverOnWin9x() {
    HWND foreground = GetForegroundWindow();
    if (!IsScreenSaverWindow(foreground)) return 0;
    char name[MAX_PATH];
    return WindowProcessExeName(foreground, name, sizeof name) ? IsScreenSaverFile(name) : 0;
}

// Windows NT runs the screen saver on a desktop of its own; while it runs,
// opening that desktop succeeds or is refused, and either means it is there.
int ScreenSaverOnNt() {
    HDESK desktop = OpenDesktopA("screen-saver", 0, FALSE, MAXIMUM_ALLOWED);
    if (desktop) {
        CloseDesktop(desktop);
        return 1;
    }
    return GetLastError() == ERROR_ACCESS_DENIED ? 1 : 0;
}

}  // namespace

int ScreenSaverActive() {
    try {
        HWND saver = FindWindowA("WindowsScreenSaverClass", nullptr);
        if (saver && IsScreenSaverWindow(saver)) return 1;
        switch (gPlatformId) {
            case VER_PLATFORM_WIN32s: return ScreenSaverOnWin32s();
            case VER_PLATFORM_WIN32_WINDOWS: return ScreenSaverOnWin9x();
            case VER_PLATFORM_WIN32_NT: return ScreenSaverOnNt();
            default: return 0;
        }
    } catch (...) {
        Trace("ScreenSaverActive(): Unhandled Exception");
        return 0;
    }
}

int IsScreenSaverWindow(HWND window) {
    if (!IsWindow(window)) return 0;
    if (GetAncestor(window, GA_PARENT) == GetDesktopWindow()) return 1;
    if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) return 1;
    return IsFullScreenWindow(window);
}

int IsFullScreenWindow(HWND window) {
    if (!IsWindowVisible(window)) return 0;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement) || placement.showCmd == SW_SHOWMINIMIZED) return 0;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return 0;
    return rect.left <= 0 && rect.top <= 0 && rect.right >= GetSystemMetrics(SM_CXSCREEN) &&
           rect.bottom >= GetSystemMetrics(SM_CYSCREEN);
}

bool WindowProcessExeName(HWND window, char* out, size_t size) {
    gProcessList.Load();
    if (!gProcessList.next) return false;
    ScopedHandle snapshot(gProcessList.createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    bool found = gProcessList.first(snapshot.get(), &entry);
    while (found && entry.th32ProcessID != processId) found = gProcessList.next(snapshot.get(), &entry);
    if (found) StrCopy(out, size, entry.szExeFile);
    return found;
}

DWORD StartProcess(const char* commandLine, bool wait) {
    ScopedHandle process = StartProgram(commandLine, CREATE_DEFAULT_ERROR_MODE | DETACHED_PROCESS);
    if (!process) return 0;
    if (!wait) return 1;
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_FAILED) GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

bool LaunchProgram(const char* path) {
    // Not WinExec: it waits until the program is idle, and the agent's one
    // thread must not wait. A display program that asks the agent for topics
    // while it starts would stall both of them.
    return static_cast<bool>(StartProgram(std::string("\"") + path + "\""));
}
