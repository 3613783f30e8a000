// Holds Wine's desktop open for a whole test run (started by wine-run
// --server-start, without output): a desktop process started by a test's
// program would inherit its output, and CTest would wait for it long after the
// test ended. Ends with the wineserver, or after three hours.
//   desktop_keeper.exe [READY_FILE]   makes READY_FILE once it holds the desktop
#include <windows.h>

namespace {

constexpr UINT kLifetimeMs = 3 * 60 * 60 * 1000;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR readyFile, int) {
    // Message-only: never found by a test's window search.
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) return 1;
    if (*readyFile) CloseHandle(CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    SetTimer(nullptr, 0, kLifetimeMs, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageA(&msg);
    return 0;
}
