// Holds Wine's desktop open for a whole test run.
//
// Wine starts its desktop process (explorer.exe) for the first program that
// needs a desktop and ends it soon after the last such program. Started by a
// test's program, the desktop process inherits that test's output and open
// files, and CTest waits for that output to close: the test would seem to
// hang long after it ended, for as long as other tests kept the desktop busy.
// wine-run --server-start runs this program beside the persistent wineserver,
// with no output, so the desktop process started there is the only one.
// It ends with the wineserver (wine-run --server-stop), or after three hours.
//
//   desktop_keeper.exe [READY_FILE]   makes READY_FILE once it holds the desktop
#include <windows.h>

namespace {

constexpr UINT kLifetimeMs = 3 * 60 * 60 * 1000;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR readyFile, int) {
    // Never shown and never found by a test's window search: only being one of
    // the desktop's users matters.
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) return 1;
    if (*readyFile) CloseHandle(CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    SetTimer(nullptr, 0, kLifetimeMs, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageA(&msg);
    return 0;
}
